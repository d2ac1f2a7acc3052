#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace nimbra {

// SHA-256 over a stream of blocks (OpenSSL EVP, hardware-accelerated where the
// processor offers it). Memory does not grow with the input.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(std::string_view bytes);
  // The digest as 64 lower-case hexadecimal digits. Call once.
  std::string hexDigest();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

}  // namespace nimbra

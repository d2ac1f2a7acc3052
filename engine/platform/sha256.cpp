#include "engine/platform/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace nimbra {

struct Sha256::Context {
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  ~Context() { EVP_MD_CTX_free(md); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  if (context_->md == nullptr || EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("SHA-256 is not available.");
  }
}

Sha256::~Sha256() = default;

void Sha256::update(std::string_view bytes) {
  if (EVP_DigestUpdate(context_->md, bytes.data(), bytes.size()) != 1) {
    throw std::runtime_error("SHA-256 failed.");
  }
}

std::string Sha256::hexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_->md, digest, &length) != 1) throw std::runtime_error("SHA-256 failed.");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    text.push_back(kHex[digest[i] >> 4]);
    text.push_back(kHex[digest[i] & 0x0f]);
  }
  return text;
}

}  // namespace nimbra

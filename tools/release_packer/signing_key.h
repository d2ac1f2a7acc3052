#pragma once

// The vendor's Ed25519 key that signs release.json. Only build tools and tests
// sign; the installer itself only verifies (engine/platform/ed25519.h).

#include <openssl/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "engine/platform/ed25519.h"

namespace nimbra::packer {

class SigningKey {
 public:
  // A new random key.
  static SigningKey generate();
  // Reads a private key file (PEM, PKCS #8). Throws PackError naming the file
  // when it cannot be read or holds no Ed25519 private key.
  static SigningKey read(const std::filesystem::path& file);

  // The signature of exactly bytes: 64 raw bytes.
  std::string sign(std::string_view bytes) const;
  Ed25519PublicKey publicKey() const;
  // The private key as PEM (PKCS #8), for the key file.
  std::string privateKeyPEM() const;

 private:
  explicit SigningKey(EVP_PKEY* key);
  std::shared_ptr<EVP_PKEY> key_;
};

// The public key as the build embeds it: 64 lower-case hexadecimal digits and
// a line break.
std::string publicKeyText(const Ed25519PublicKey& key);

// Writes a new key pair into folder (made if missing): kPrivateKeyFile,
// readable by its owner only, and kPublicKeyFile. Never replaces a key:
// throws PackError when either file exists.
void writeKeyPair(const std::filesystem::path& folder);

inline constexpr std::string_view kPrivateKeyFile = "release-signing.key";
inline constexpr std::string_view kPublicKeyFile = "release-signing.pub";

}  // namespace nimbra::packer

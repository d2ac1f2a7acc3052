#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace nimbra {

// An Ed25519 public key in its raw 32-byte form.
using Ed25519PublicKey = std::array<unsigned char, 32>;
inline constexpr std::size_t kEd25519SignatureSize = 64;

// True when signature is key's Ed25519 signature of exactly message. OpenSSL
// does the verification; any malformed input is simply false.
bool verifyEd25519(const Ed25519PublicKey& key, std::string_view message, std::string_view signature);

}  // namespace nimbra

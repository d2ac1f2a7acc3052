#pragma once

#include <vector>

#include "engine/platform/ed25519.h"

namespace nimbra {

// The public keys whose signature of release.json the engine accepts. More
// than one only while a vendor rotates from an old key to a new one.
using ReleaseKeys = std::vector<Ed25519PublicKey>;

// The keys compiled into this executable: the public half of the key the build
// signed its payload with, and any the build was told to trust besides.
// Defined by the build (library nimbra_release_keys), not by the engine, so a
// tool that signs payloads can use the engine without trusting a key.
const ReleaseKeys& builtInReleaseKeys();

}  // namespace nimbra

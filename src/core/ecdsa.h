// ECDSA on the curve P-256 over the system's cryptography: key pairs, and
// signatures of SHA-256 digests. Keys and signatures are plain bytes here;
// their files are the release layer's business.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/sha256.h"

using TEcPublicKey = std::array<uint8_t, 64>;   // the point: X then Y, big-endian
using TEcPrivateKey = std::array<uint8_t, 32>;  // the secret scalar d, big-endian
using TEcSignature = std::array<uint8_t, 64>;   // r then s, big-endian

struct TEcKeyPair {
    TEcPublicKey Public{};
    TEcPrivateKey Private{};
};

// A new random key pair; false with the reason in `problem` (a message text)
// when the system cannot make one (no CNG; under Wine, no GnuTLS on the host).
bool MakeEcKeyPair(TEcKeyPair& pair, std::string& problem);

// Signs the digest with the pair; false with the reason as above.
bool SignDigest(const TEcKeyPair& pair, const TSha256Digest& digest, TEcSignature& signature, std::string& problem);

enum class TSignatureCheck {
    Matches,       // the key signed this digest
    DoesNotMatch,  // another digest, another key, or bytes that are no signature
    Failed,        // the system could not check it (no CNG, a key it cannot take): see `problem`
};

// Checks a signature of the digest against the public key.
TSignatureCheck CheckSignature(const TEcPublicKey& key, const TSha256Digest& digest, const TEcSignature& signature,
                               std::string& problem);

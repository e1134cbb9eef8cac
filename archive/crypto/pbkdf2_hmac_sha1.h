// PBKDF2 (PKCS #5) with HMAC-SHA1 as its pseudo-random function, the key
// derivation of AES-encrypted entries.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace parcelon {

// Fills `out` (any length) from `password`'s bytes (no terminator) and
// `salt` after `iterations` rounds. Throws CodecError for 0 rounds; holds
// nothing after it returns and wipes its intermediate values.
void Pbkdf2HmacSha1(std::string_view password, std::span<const uint8_t> salt, unsigned iterations,
                    std::span<uint8_t> out);

}  // namespace parcelon

// Unpredictable bytes for encryption headers and salts, from OpenSSL's
// cryptographically secure generator (never from a clock-seeded one).
#pragma once

#include <cstdint>
#include <span>

namespace parcelon {

// Fills `out`. Throws CodecError when the generator fails (it is not seeded).
void FillRandom(std::span<uint8_t> out);

// Fills `out` with random bytes from 0 to 254: the value 255 never occurs
// in a salt this engine writes. Throws CodecError as FillRandom.
void FillRandomBelow255(std::span<uint8_t> out);

}  // namespace parcelon

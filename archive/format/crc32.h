// CRC-32 of ZIP entries (reflected polynomial 0xEDB88320), computed by ISA-L
// where the build has it and by zlib otherwise, with the same values.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace parcelon {

// Extends a running CRC-32 with `data` and gives the new value. The running
// value is the finished CRC of everything seen so far: start with 0 for no
// data (the pre- and post-conditioning with 0xFFFFFFFF happen inside), so
// UpdateCrc32(UpdateCrc32(0, a), b) equals the CRC-32 of a followed by b.
// Spans of any length are accepted.
uint32_t UpdateCrc32(uint32_t crc, std::span<const uint8_t> data);

// The CRC-32 of `bytes` on their own.
uint32_t Crc32Of(std::string_view bytes);

}  // namespace parcelon

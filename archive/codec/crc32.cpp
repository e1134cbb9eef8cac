#include "archive/codec/crc32.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace parcelon {

uint32_t UpdateCrc32(uint32_t crc, std::span<const uint8_t> data) {
  // zlib takes a uInt length: feed larger spans in pieces it can hold.
  constexpr size_t kMaxPiece = std::numeric_limits<uInt>::max();
  uLong value = crc;
  while (!data.empty()) {
    const size_t piece = std::min(data.size(), kMaxPiece);
    value = crc32(value, data.data(), static_cast<uInt>(piece));
    data = data.subspan(piece);
  }
  return static_cast<uint32_t>(value);
}

uint32_t Crc32Of(std::string_view bytes) {
  return UpdateCrc32(0, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

}  // namespace parcelon

#include "archive/format/crc32.h"

#ifdef PARCELON_HAVE_ISAL
#include <isa-l/crc.h>
#else
#include <zlib.h>
#endif

#include <algorithm>
#include <limits>

namespace parcelon {

#ifdef PARCELON_HAVE_ISAL
// ISA-L's reflected CRC-32 is the same function as zlib's, several times
// faster (carry-less multiplication), and takes 64-bit lengths.
uint32_t UpdateCrc32(uint32_t crc, std::span<const uint8_t> data) {
  if (data.empty()) return crc;
  return crc32_gzip_refl(crc, data.data(), data.size());
}
#else
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
#endif

uint32_t Crc32Of(std::string_view bytes) {
  return UpdateCrc32(0, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

}  // namespace parcelon

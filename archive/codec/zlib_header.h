// The two-byte zlib stream header that matches a compression mode, for
// readers that inflate entry data as a zlib stream rather than raw deflate.
#pragma once

#include <array>
#include <cstdint>

namespace parcelon {

// The header bytes for `mode`: 0 and 7 to 9 give 78 DA, 1 and 2 give 78 01,
// 3 and 4 give 78 5E, 5 and 6 give 78 9C; any other mode gives 00 00.
constexpr std::array<uint8_t, 2> ZlibHeaderForLevel(int mode) {
  if (mode == 0 || (mode >= 7 && mode <= 9)) return {0x78, 0xDA};
  if (mode == 1 || mode == 2) return {0x78, 0x01};
  if (mode == 3 || mode == 4) return {0x78, 0x5E};
  if (mode == 5 || mode == 6) return {0x78, 0x9C};
  return {0x00, 0x00};
}

}  // namespace parcelon

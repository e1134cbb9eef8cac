// The traditional ZIP cipher: three 32-bit keys driven by a CRC-32 step and
// a linear congruential step, a 12-byte encryption header in front of the
// entry's data whose last byte checks the password. All routines work on
// spans and never touch a byte outside them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace parcelon {

inline constexpr size_t kTraditionalHeaderSize = 12;
// How many leading header bytes are random; the two behind them carry the
// CRC-32's high bytes.
inline constexpr size_t kTraditionalRandomSize = 10;

using TraditionalHeader = std::array<uint8_t, kTraditionalHeaderSize>;

// The key state of one entry, carried from one buffer to the next.
struct Keys {
  uint32_t key0 = 0;
  uint32_t key1 = 0;
  uint32_t key2 = 0;
  bool operator==(const Keys&) const = default;
};

// Resets `keys` to 0x12345678, 0x23456789, 0x34567890 and feeds each byte of
// `password` (no terminator) through UpdateKeys.
void InitKeys(std::string_view password, Keys& keys);
// Advances `keys` by one plain byte.
void UpdateKeys(Keys& keys, uint8_t plain);
// The key-stream byte of the current state (the state is not changed).
uint8_t DecryptByte(const Keys& keys);
// Encrypts one plain byte and advances `keys` by it.
uint8_t EncryptByte(Keys& keys, uint8_t plain);
// Decrypts `buffer` in place, advancing `keys` byte by byte.
void DecryptBuffer(std::span<uint8_t> buffer, Keys& keys);
// Encrypts `count` bytes of `buffer` from `start` in place; the part of the
// range outside the buffer is ignored.
void EncryptRange(std::span<uint8_t> buffer, size_t start, size_t count, Keys& keys);

// The byte that byte 11 of a decrypted header must equal: the high byte of
// the local header's time when `flags` has the data-descriptor bit (the CRC
// is not known before the data then), else the high byte of its CRC-32.
uint8_t CheckByteOf(uint16_t flags, uint32_t crc, uint16_t time);

// Initialises `keys` from `password` and decrypts a copy of `header`.
// Returns whether its last byte equals `check_byte`; either way `keys` is
// left as it stands after the header, ready for the entry's data.
bool CheckPassword(const TraditionalHeader& header, std::string_view password, uint8_t check_byte,
                   Keys& keys);

// The encrypted header of a new entry whose uncompressed data has CRC-32
// `crc`: `random` as bytes 0 to 9, the CRC's bits 16-23 and 24-31 as bytes
// 10 and 11. Initialises `keys` from `password` and leaves them ready for
// the data.
TraditionalHeader MakeTraditionalHeader(std::string_view password, uint32_t crc,
                                        std::span<const uint8_t, kTraditionalRandomSize> random,
                                        Keys& keys);
// The same with ten bytes from the secure random generator. Throws
// CodecError when it fails.
TraditionalHeader MakeTraditionalHeader(std::string_view password, uint32_t crc, Keys& keys);

}  // namespace parcelon

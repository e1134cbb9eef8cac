#include "archive/crypto/traditional_cipher.h"

#include <algorithm>

#include "archive/crypto/random_bytes.h"
#include "archive/format/records.h"

namespace parcelon {
namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

// One raw CRC-32 step, without the pre- and post-conditioning of a whole CRC.
constexpr uint32_t CrcStep(uint32_t crc, uint8_t byte) {
  return kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

}  // namespace

void InitKeys(std::string_view password, Keys& keys) {
  keys = {0x12345678, 0x23456789, 0x34567890};
  for (const char c : password) UpdateKeys(keys, static_cast<uint8_t>(c));
}

void UpdateKeys(Keys& keys, uint8_t plain) {
  keys.key0 = CrcStep(keys.key0, plain);
  keys.key1 = (keys.key1 + (keys.key0 & 0xFF)) * 134775813u + 1;
  keys.key2 = CrcStep(keys.key2, static_cast<uint8_t>(keys.key1 >> 24));
}

uint8_t DecryptByte(const Keys& keys) {
  const uint32_t t = (keys.key2 | 2) & 0xFFFF;
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

uint8_t EncryptByte(Keys& keys, uint8_t plain) {
  const auto cipher = static_cast<uint8_t>(plain ^ DecryptByte(keys));
  UpdateKeys(keys, plain);
  return cipher;
}

void DecryptBuffer(std::span<uint8_t> buffer, Keys& keys) {
  for (uint8_t& byte : buffer) {
    byte = static_cast<uint8_t>(byte ^ DecryptByte(keys));
    UpdateKeys(keys, byte);
  }
}

void EncryptRange(std::span<uint8_t> buffer, size_t start, size_t count, Keys& keys) {
  if (start >= buffer.size()) return;
  for (uint8_t& byte : buffer.subspan(start, std::min(count, buffer.size() - start)))
    byte = EncryptByte(keys, byte);
}

uint8_t CheckByteOf(uint16_t flags, uint32_t crc, uint16_t time) {
  if (flags & kFlagDataDescriptor) return static_cast<uint8_t>(time >> 8);
  return static_cast<uint8_t>(crc >> 24);
}

bool CheckPassword(const TraditionalHeader& header, std::string_view password, uint8_t check_byte,
                   Keys& keys) {
  TraditionalHeader plain = header;
  InitKeys(password, keys);
  DecryptBuffer(plain, keys);
  return plain.back() == check_byte;
}

TraditionalHeader MakeTraditionalHeader(std::string_view password, uint32_t crc,
                                        std::span<const uint8_t, kTraditionalRandomSize> random,
                                        Keys& keys) {
  TraditionalHeader header{};
  std::copy(random.begin(), random.end(), header.begin());
  header[10] = static_cast<uint8_t>(crc >> 16);
  header[11] = static_cast<uint8_t>(crc >> 24);
  InitKeys(password, keys);
  EncryptRange(header, 0, header.size(), keys);
  return header;
}

TraditionalHeader MakeTraditionalHeader(std::string_view password, uint32_t crc, Keys& keys) {
  std::array<uint8_t, kTraditionalRandomSize> random{};
  FillRandom(random);
  return MakeTraditionalHeader(password, crc, random, keys);
}

}  // namespace parcelon

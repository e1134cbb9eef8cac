// The two primitives of AES entry encryption, each owning its OpenSSL
// context: AES in counter mode with a 16-byte little-endian counter that
// starts at 1, and a running HMAC-SHA1.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace parcelon {

class AesCounterMode {
 public:
  // `key` is 16, 24 or 32 bytes. Throws CodecError for another length or
  // when the library cannot start.
  explicit AesCounterMode(std::span<const uint8_t> key);
  ~AesCounterMode();
  AesCounterMode(AesCounterMode&&) noexcept;
  AesCounterMode& operator=(AesCounterMode&&) noexcept;

  // XORs `data` with the next bytes of the key stream: the AES encryptions
  // of the counter blocks 1, 2, 3, ... The position in the key stream
  // carries over between calls, so encrypting and decrypting are this same
  // call over buffers of any length.
  void Apply(std::span<uint8_t> data);

 private:
  static constexpr size_t kBlock = 16;
  static constexpr size_t kBatch = 256;  // key stream blocks made per library call
  void Refill();

  struct Context;
  std::unique_ptr<Context> context_;
  uint64_t counter_ = 0;  // the little-endian first 8 bytes of the counter block
  std::array<uint8_t, kBlock * kBatch> stream_{};
  size_t used_ = stream_.size();
};

class HmacSha1 {
 public:
  static constexpr size_t kSize = 20;
  // Starts the code with `key`. Throws CodecError when the library fails.
  explicit HmacSha1(std::span<const uint8_t> key);
  ~HmacSha1();
  HmacSha1(HmacSha1&&) noexcept;
  HmacSha1& operator=(HmacSha1&&) noexcept;

  void Update(std::span<const uint8_t> data);
  // The code over everything updated; the object takes no more data after.
  std::array<uint8_t, kSize> Final();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

}  // namespace parcelon

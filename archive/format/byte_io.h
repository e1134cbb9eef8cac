// Bounds-checked little-endian access to byte images. Nothing here reads or
// writes outside the span it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace parcelon {

// Reads an unsigned little-endian integer of sizeof(T) bytes at `offset`;
// 0 when the span does not hold all of them.
template <typename T>
T LoadLE(std::span<const uint8_t> bytes, size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return 0;
  T value = 0;
  for (size_t i = sizeof(T); i-- > 0;) value = static_cast<T>((value << 8) | bytes[offset + i]);
  return value;
}

inline uint16_t LoadU16(std::span<const uint8_t> bytes, size_t offset) {
  return LoadLE<uint16_t>(bytes, offset);
}
inline uint32_t LoadU32(std::span<const uint8_t> bytes, size_t offset) {
  return LoadLE<uint32_t>(bytes, offset);
}
inline uint64_t LoadU64(std::span<const uint8_t> bytes, size_t offset) {
  return LoadLE<uint64_t>(bytes, offset);
}

// Writes `value` little-endian at `offset`; writes nothing and gives false
// when the span cannot hold all sizeof(T) bytes there.
template <typename T>
bool StoreLE(std::span<uint8_t> bytes, size_t offset, T value) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
  for (size_t i = 0; i < sizeof(T); ++i) {
    bytes[offset + i] = static_cast<uint8_t>(value & 0xFF);
    value = static_cast<T>(value >> 8);
  }
  return true;
}

inline bool StoreU16(std::span<uint8_t> bytes, size_t offset, uint16_t value) {
  return StoreLE(bytes, offset, value);
}
inline bool StoreU32(std::span<uint8_t> bytes, size_t offset, uint32_t value) {
  return StoreLE(bytes, offset, value);
}

// Appends `value` little-endian, sizeof(T) bytes, to `out`.
template <typename T>
void AppendLE(std::vector<uint8_t>& out, T value) {
  const size_t at = out.size();
  out.resize(at + sizeof(T));
  StoreLE<T>(out, at, value);
}

// Sequential reader over a byte span. A read that does not fit sets a sticky
// failure flag, gives 0 (or an empty span) and consumes nothing; later reads
// keep failing, so a caller may read a whole record and check once.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint8_t U8() { return Read<uint8_t>(); }
  uint16_t U16() { return Read<uint16_t>(); }
  uint32_t U32() { return Read<uint32_t>(); }
  uint64_t U64() { return Read<uint64_t>(); }
  // Reads the next field into `field`, by its width.
  template <typename T>
  void Field(T& field) {
    field = Read<T>();
  }

  // The next `count` bytes as a view into the underlying span.
  std::span<const uint8_t> Bytes(size_t count) {
    if (!Has(count)) return Fail<std::span<const uint8_t>>();
    auto out = bytes_.subspan(pos_, count);
    pos_ += count;
    return out;
  }

  bool Has(size_t count) const { return ok_ && Remaining() >= count; }
  size_t Remaining() const { return bytes_.size() - pos_; }
  size_t Position() const { return pos_; }
  bool Ok() const { return ok_; }

 private:
  template <typename T>
  T Read() {
    if (!Has(sizeof(T))) return Fail<T>();
    T value = LoadLE<T>(bytes_, pos_);
    pos_ += sizeof(T);
    return value;
  }
  template <typename T>
  T Fail() {
    ok_ = false;
    return T{};
  }

  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Sequential writer into a fixed span, with the same sticky failure rule.
class ByteWriter {
 public:
  explicit ByteWriter(std::span<uint8_t> bytes) : bytes_(bytes) {}

  // Writes `field` by its width.
  template <typename T>
  void Field(const T& field) {
    Write(field);
  }

 private:
  template <typename T>
  void Write(T v) {
    if (ok_ && StoreLE(bytes_, pos_, v)) {
      pos_ += sizeof(T);
    } else {
      ok_ = false;
    }
  }

  std::span<uint8_t> bytes_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace parcelon

#include "zip_builder.h"

#include <algorithm>
#include <cstring>

#include "archive/format/crc32.h"
#include "platform/exception.h"

namespace ziptest {

void Append(Bytes& out, const Bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}
void Append(Bytes& out, const std::string& more) {
  out.insert(out.end(), more.begin(), more.end());
}
void PutU16(Bytes& out, uint16_t value) {
  for (int i = 0; i < 2; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void PutU32(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void PutU64(Bytes& out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
uint16_t U16At(const Bytes& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}
uint32_t U32At(const Bytes& bytes, size_t offset) {
  return U16At(bytes, offset) | static_cast<uint32_t>(U16At(bytes, offset + 2)) << 16;
}

namespace {

uint32_t CrcOf(const TestEntry& entry) {
  return parcelon::Crc32Of(entry.data);
}

Bytes CentralRecord(const TestEntry& entry, uint32_t offset) {
  Bytes out;
  PutU32(out, 0x02014B50);
  PutU16(out, entry.version);
  PutU16(out, entry.version);
  PutU16(out, entry.flags);
  PutU16(out, entry.method);
  PutU16(out, entry.time);
  PutU16(out, entry.date);
  PutU32(out, CrcOf(entry));
  PutU32(out, entry.central_packed.value_or(static_cast<uint32_t>(entry.data.size())));
  PutU32(out, entry.central_unpacked.value_or(static_cast<uint32_t>(entry.data.size())));
  PutU16(out, entry.central_name_length.value_or(static_cast<uint16_t>(entry.name.size())));
  PutU16(out, static_cast<uint16_t>(entry.central_extra.size()));
  PutU16(out, static_cast<uint16_t>(entry.comment.size()));
  PutU16(out, 0);  // disk
  PutU16(out, 0);  // internal attributes
  PutU32(out, entry.external);
  PutU32(out, entry.central_offset.value_or(offset));
  Append(out, entry.name);
  Append(out, entry.central_extra);
  Append(out, entry.comment);
  return out;
}

void AppendZip64Records(Bytes& out, uint64_t count, uint64_t dir_size, uint64_t dir_offset,
                        const BuildOptions& options, uint64_t base) {
  const uint64_t record_at = out.size() - base;
  if (!options.omit_zip64_end_record) {
    PutU32(out, 0x06064B50);
    PutU64(out, 44);
    PutU16(out, 45);
    PutU16(out, 45);
    PutU32(out, 0);
    PutU32(out, 0);
    PutU64(out, options.zip64_entries.value_or(count));
    PutU64(out, options.zip64_entries.value_or(count));
    PutU64(out, options.zip64_directory_size.value_or(dir_size));
    PutU64(out, dir_offset);
  }
  PutU32(out, 0x07064B50);
  PutU32(out, 0);
  PutU64(out, options.locator_offset.value_or(record_at));
  PutU32(out, 1);
}

}  // namespace

Bytes LocalRecord(const TestEntry& entry) {
  Bytes out;
  PutU32(out, 0x04034B50);
  PutU16(out, entry.version);
  PutU16(out, entry.flags);
  PutU16(out, entry.method);
  PutU16(out, entry.time);
  PutU16(out, entry.date);
  PutU32(out, CrcOf(entry));
  PutU32(out, static_cast<uint32_t>(entry.data.size()));
  PutU32(out, static_cast<uint32_t>(entry.data.size()));
  PutU16(out, static_cast<uint16_t>(entry.name.size()));
  PutU16(out, static_cast<uint16_t>(entry.local_extra.size()));
  Append(out, entry.name);
  Append(out, entry.local_extra);
  Append(out, entry.data);
  return out;
}

Bytes BuildZip(const std::vector<TestEntry>& entries, const BuildOptions& options) {
  Bytes out(options.prefix.begin(), options.prefix.end());
  const uint64_t base = options.offsets_relative ? options.prefix.size() : 0;
  std::vector<uint32_t> offsets;
  for (const TestEntry& entry : entries) {
    offsets.push_back(static_cast<uint32_t>(out.size() - base));
    Append(out, LocalRecord(entry));
  }
  const uint64_t dir_offset = out.size() - base;
  for (size_t i = 0; i < entries.size(); ++i) Append(out, CentralRecord(entries[i], offsets[i]));
  const uint64_t dir_size = out.size() - base - dir_offset;
  if (options.zip64) AppendZip64Records(out, entries.size(), dir_size, dir_offset, options, base);
  const auto count = static_cast<uint16_t>(entries.size());
  PutU32(out, 0x06054B50);
  PutU16(out, 0);
  PutU16(out, 0);
  PutU16(out, options.total_entries.value_or(count));
  PutU16(out, options.total_entries.value_or(count));
  PutU32(out, options.directory_size.value_or(static_cast<uint32_t>(dir_size)));
  PutU32(out, static_cast<uint32_t>(dir_offset));
  PutU16(out, static_cast<uint16_t>(options.comment.size()));
  Append(out, options.comment);
  return out;
}

Bytes RawField(uint16_t id, const Bytes& data) {
  Bytes out;
  out.reserve(4 + data.size());
  PutU16(out, id);
  PutU16(out, static_cast<uint16_t>(data.size()));
  Append(out, data);
  return out;
}

Bytes UnicodeNameField(const std::u16string& name) {
  Bytes data;
  PutU32(data, 0x5843554E);
  PutU32(data, static_cast<uint32_t>(name.size()));
  for (char16_t unit : name) PutU16(data, unit);
  return RawField(0x554E, data);
}

Bytes UnicodePathField(const std::string& stored_name, const std::string& utf8_name) {
  Bytes data{1};
  PutU32(data, parcelon::Crc32Of(stored_name));
  Append(data, utf8_name);
  return RawField(0x7075, data);
}

Bytes Zip64Field(const std::vector<uint64_t>& values) {
  Bytes data;
  for (uint64_t value : values) PutU64(data, value);
  return RawField(0x0001, data);
}

size_t ShortWriteStream::Write(const void* buffer, size_t n) {
  const size_t count = std::min(n, budget_);
  budget_ -= count;
  return count == 0 ? 0 : MemoryStream::Write(buffer, count);
}

size_t FailingReadStream::Read(void* buffer, size_t n) {
  const int64_t at = Position();
  if (!failed_ && at >= from_ && at < to_) {
    failed_ = true;
    fail_();
  }
  return MemoryStream::Read(buffer, n);
}

uint8_t SparseStream::ByteAt(int64_t position) const {
  if (position >= base_) return tail_[static_cast<size_t>(position - base_)];
  const auto at = static_cast<size_t>(position);
  return at < head_.size() ? head_[at] : 0;
}

size_t SparseStream::Read(void* buffer, size_t n) {
  const int64_t size = base_ + static_cast<int64_t>(tail_.size());
  const auto count = static_cast<size_t>(std::clamp<int64_t>(size - position_, 0, int64_t(n)));
  auto* out = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < count; ++i, ++position_) out[i] = ByteAt(position_);
  return count;
}

size_t SparseStream::Write(const void* buffer, size_t n) {
  const int64_t end = position_ + static_cast<int64_t>(n);
  if (position_ < base_ && end > kMaxHead)
    throw platform::EStreamError(u"write in the sparse part");
  Bytes& part = position_ < base_ ? head_ : tail_;
  const auto at = static_cast<size_t>(position_ < base_ ? position_ : position_ - base_);
  if (part.size() < at + n) part.resize(at + n);
  std::memcpy(part.data() + at, buffer, n);
  position_ = end;
  return n;
}

int64_t SparseStream::Seek(int64_t offset, platform::SeekOrigin origin) {
  int64_t from = 0;
  if (origin == platform::SeekOrigin::kCurrent) from = position_;
  if (origin == platform::SeekOrigin::kEnd) from = base_ + static_cast<int64_t>(tail_.size());
  position_ = from + offset;
  return position_;
}

void SparseStream::SetSize(int64_t size) {
  tail_.resize(static_cast<size_t>(std::max<int64_t>(size - base_, 0)));
}

}  // namespace ziptest

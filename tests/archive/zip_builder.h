// Assembles ZIP archives byte for byte for the loader and writer tests:
// local headers with stored data, a central directory, optional Zip64 end
// records, the end record and a comment, each part open to deliberate damage.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/memory_stream.h"
#include "platform/stream.h"

namespace ziptest {

using Bytes = std::vector<uint8_t>;

struct TestEntry {
  std::string name;  // the stored name bytes
  std::string data;  // stored as is
  uint16_t version = 20;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t time = 0x6000;
  uint16_t date = 0x5021;
  uint32_t external = 0x20;
  Bytes central_extra;
  Bytes local_extra;
  std::string comment;
  // Overrides of the central header's fields; the true values are otherwise used.
  std::optional<uint32_t> central_offset;
  std::optional<uint32_t> central_packed;
  std::optional<uint32_t> central_unpacked;
  std::optional<uint16_t> central_name_length;
};

struct BuildOptions {
  std::string prefix;                      // bytes in front of the archive proper
  bool offsets_relative = false;           // offsets count from the end of the prefix
  std::optional<uint16_t> total_entries;   // both entry counts of the end record
  std::optional<uint32_t> directory_size;  // as the end record states it
  bool zip64 = false;                      // write a Zip64 end record and its locator
  std::optional<uint64_t> zip64_entries;   // both counts of the Zip64 end record
  std::optional<uint64_t> zip64_directory_size;
  std::optional<uint64_t> locator_offset;  // what the locator states
  bool omit_zip64_end_record = false;      // a locator pointing at nothing
  std::string comment;                     // the archive comment
};

Bytes BuildZip(const std::vector<TestEntry>& entries, const BuildOptions& options = {});

// The local header, name, extra area and data of one entry.
Bytes LocalRecord(const TestEntry& entry);

// Extra fields.
Bytes UnicodeNameField(const std::u16string& name);
Bytes UnicodePathField(const std::string& stored_name, const std::string& utf8_name);
Bytes Zip64Field(const std::vector<uint64_t>& values);
Bytes RawField(uint16_t id, const Bytes& data);

void Append(Bytes& out, const Bytes& more);
void Append(Bytes& out, const std::string& more);
void PutU16(Bytes& out, uint16_t value);
void PutU32(Bytes& out, uint32_t value);
void PutU64(Bytes& out, uint64_t value);
uint16_t U16At(const Bytes& bytes, size_t offset);
uint32_t U32At(const Bytes& bytes, size_t offset);

// A memory stream that stores at most `budget` more bytes, then writes short.
class ShortWriteStream : public platform::MemoryStream {
 public:
  explicit ShortWriteStream(size_t budget) : budget_(budget) {}
  size_t Write(const void* buffer, size_t n) override;

 private:
  size_t budget_;
};

// A memory stream whose first read that starts in [from, to) fails with what
// `fail` throws (an I/O error of the file layer, running out of memory);
// later reads succeed, as they may after a passing fault.
class FailingReadStream : public platform::MemoryStream {
 public:
  FailingReadStream(std::vector<uint8_t> bytes, int64_t from, int64_t to,
                    std::function<void()> fail)
      : platform::MemoryStream(std::move(bytes)), from_(from), to_(to), fail_(std::move(fail)) {}
  size_t Read(void* buffer, size_t n) override;

 private:
  int64_t from_;
  int64_t to_;
  std::function<void()> fail_;
  bool failed_ = false;
};

// A stream that claims `base` bytes (read as zeros, but for what is written
// into their first kMaxHead bytes) in front of what is written at or after
// `base`, so huge positions cost no memory.
class SparseStream : public platform::Stream {
 public:
  explicit SparseStream(int64_t base) : base_(base) {}
  size_t Read(void* buffer, size_t n) override;
  size_t Write(const void* buffer, size_t n) override;
  int64_t Seek(int64_t offset, platform::SeekOrigin origin) override;
  void SetSize(int64_t size) override;
  const Bytes& Tail() const { return tail_; }
  static constexpr int64_t kMaxHead = 4096;

 private:
  uint8_t ByteAt(int64_t position) const;
  int64_t base_;
  Bytes head_;
  Bytes tail_;
  int64_t position_ = 0;
};

}  // namespace ziptest

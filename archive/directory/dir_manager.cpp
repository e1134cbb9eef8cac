#include "archive/directory/dir_manager.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "archive/directory/central_reader.h"
#include "archive/directory/signature_scanner.h"
#include "archive/directory/stub_detection.h"
#include "archive/errors/pl_exception.h"
#include "platform/exception.h"

namespace parcelon {
namespace {

// The Zip64 end record at `at`, when it lies whole before `limit` and
// carries its signature.
std::optional<Zip64EndRecord> Zip64EndAt(platform::Stream& stream, int64_t size, uint64_t at,
                                         int64_t limit) {
  if (at > uint64_t(limit) || uint64_t(limit) - at < kZip64EndRecordSize) return std::nullopt;
  std::vector<uint8_t> bytes;
  if (!ReadExactAt(stream, size, int64_t(at), kZip64EndRecordSize, bytes)) return std::nullopt;
  const auto record = Zip64EndRecord::Parse(std::span<const uint8_t, kZip64EndRecordSize>(bytes));
  if (record.Signature != kZip64EndRecordSignature) return std::nullopt;
  return record;
}

struct Zip64Records {
  Zip64Locator& locator;
  Zip64EndRecord& end_record;
  bool& present;
};

// Reads the Zip64 locator in front of the end record at `position` and the
// Zip64 end record it points to; gives the position of the first record of
// the end (the Zip64 end record, or the end record without Zip64). A locator
// without its end record raises error 40.
int64_t ReadZip64Records(platform::Stream& stream, int64_t position, Zip64Records out) {
  const int64_t size = stream.Size();
  std::vector<uint8_t> bytes;
  if (position <= int64_t{kZip64LocatorSize} ||
      !ReadExactAt(stream, size, position - int64_t{kZip64LocatorSize}, kZip64LocatorSize, bytes))
    return position;
  const auto locator = Zip64Locator::Parse(std::span<const uint8_t, kZip64LocatorSize>(bytes));
  if (locator.Signature != kZip64LocatorSignature) return position;
  out.locator = locator;
  out.present = true;
  position -= int64_t{kZip64LocatorSize};
  if (position <= int64_t{kZip64EndRecordSize}) throw EPLException::Create(errc::kNoZip64EndRecord);
  // The locator's offset may count from the archive proper; a prefixed
  // archive still has its record right in front of the locator.
  const auto right_before = uint64_t(position) - kZip64EndRecordSize;
  for (uint64_t at : {locator.EndRecordOffset, right_before}) {
    if (auto record = Zip64EndAt(stream, size, at, position)) {
      out.end_record = *record;
      return int64_t(at);
    }
  }
  throw EPLException::Create(errc::kNoZip64EndRecord);
}

uint64_t TotalPackedSize(const TPLDirArray& dir) {
  uint64_t total = 0;
  for (int32_t i = 0; i < dir.Count(); ++i) {
    const uint64_t packed = dir.Items(i).PackedSize64();
    total = packed > UINT64_MAX - total ? UINT64_MAX : total + packed;
  }
  return total;
}

// Fills `dir` from the central directory that ends at `end`, after checking
// that it lies inside the stream. Throws EStreamError when it does not or
// when a header does not fit it.
void ReadCentralDirectory(platform::Stream& stream, int64_t end, uint64_t size, uint64_t count,
                          bool oem_file_names, const platform::CodePages& code_pages,
                          TPLDirArray& dir) {
  if (end < 0 || end > stream.Size() || size > uint64_t(end))
    throw platform::EStreamError(u"Stream read error");
  ReadCentralHeaders(stream, end - int64_t(size), size, count, oem_file_names, code_pages, dir);
}

struct CentralArea {
  int64_t end;     // where the directory ends: the first end record
  uint64_t size;   // its size in bytes, as stated
  uint64_t count;  // the number of headers stated
};

template <typename Record>
CentralArea AreaOf(int64_t end, const Record& record) {
  return {end, record.DirectorySize, record.TotalEntries};
}

// ReadCentralDirectory; false when it fails in any way, running out of
// memory included, and repair is on (the failure propagates when repair is
// off).
bool TryReadCentralDirectory(platform::Stream& stream, const CentralArea& area,
                             const DirLoadSettings& settings, const platform::CodePages& code_pages,
                             TPLDirArray& dir) {
  try {
    ReadCentralDirectory(stream, area.end, area.size, area.count, settings.oem_file_names,
                         code_pages, dir);
    return true;
  } catch (const std::exception&) {
    if (!settings.repair_directory) throw;
  }
  return false;
}

// The disk numbers of a saturated end record come from the Zip64 records.
void SetDiskNumbers(const EndRecord& record, const Zip64EndRecord* zip64,
                    const Zip64Locator& locator, uint32_t& this_disk, uint32_t& directory_disk) {
  directory_disk = record.DirectoryDisk;
  if (directory_disk == kSaturated16) directory_disk = zip64 ? zip64->DirectoryDisk : 0;
  this_disk = record.ThisDisk;
  if (this_disk == kSaturated16) this_disk = zip64 ? locator.TotalDisks - 1 : 0;
}

}  // namespace

TPLDirManager::TPLDirManager(platform::Stream& stream, const platform::CodePages& code_pages,
                             bool creating)
    : stream_(stream),
      code_pages_(code_pages),
      creating_(creating),
      backup_dir_(code_pages),
      dir_(code_pages) {
  Reset();
}

void TPLDirManager::Reset() {
  dir_.Clear();
  dir_.SetCount(0);
  end_record_ = EndRecord{};
}

void TPLDirManager::LoadDirectory(const DirLoadSettings& settings) {
  Reset();
  stub_size_ = 0;
  is_zip64_ = false;
  EndRecord found;
  if (!FindEndRecord(found, end_record_position_)) return RebuildDirectory(settings, false);
  end_record_ = found;
  const int64_t end = ReadZip64Records(stream_, end_record_position_,
                                       {zip64_locator_, zip64_end_record_, is_zip64_});
  if (!is_zip64_ && end_record_.TotalEntries == kSaturated16)
    return RebuildDirectory(settings, true);
  SetDiskNumbers(end_record_, is_zip64_ ? &zip64_end_record_ : nullptr, zip64_locator_, this_disk_,
                 directory_disk_);
  const CentralArea area = is_zip64_ ? AreaOf(end, zip64_end_record_) : AreaOf(end, end_record_);
  central_dir_offset_ = end - static_cast<int64_t>(std::min<uint64_t>(area.size, uint64_t(end)));
  if (!TryReadCentralDirectory(stream_, area, settings, code_pages_, dir_))
    return RebuildDirectory(settings, true);
  if (!settings.repair_directory && TotalPackedSize(dir_) > uint64_t(stream_.Size()))
    throw EPLException::Create(errc::kDamagedArchive);
  if (this_disk_ != 0) return;
  const StubInfo stub = DetectStub(stream_, dir_, end, central_dir_offset_);
  stub_size_ = stub.stub_size;
  ShiftOffsets(dir_, stub.shift);
}

}  // namespace parcelon

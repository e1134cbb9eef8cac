#include "archive/directory/dir_manager.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "archive/directory/central_reader.h"
#include "archive/directory/format_damage.h"
#include "archive/directory/signature_scanner.h"
#include "archive/directory/stub_detection.h"
#include "archive/errors/pl_exception.h"
#include "archive/format/byte_io.h"

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

struct CentralArea {
  int64_t end;      // where the directory ends at the latest: the first end record
  uint64_t size;    // its size in bytes, as stated
  uint64_t count;   // the number of headers stated
  uint64_t offset;  // where it starts, as stated
};

template <typename Record>
CentralArea AreaOf(int64_t end, const Record& record) {
  return {end, record.DirectorySize, record.TotalEntries, record.DirectoryOffset};
}

uint64_t Moved(uint64_t offset, int64_t prefix) {
  const auto by = static_cast<uint64_t>(prefix);
  return offset > UINT64_MAX - by ? UINT64_MAX : offset + by;
}

// A central header signature stands at `at`, and the stated size fits
// between there and the end.
bool DirectoryAt(platform::Stream& stream, const CentralArea& area, uint64_t at) {
  if (at > uint64_t(area.end) || area.size > uint64_t(area.end) - at) return false;
  std::vector<uint8_t> bytes;
  return ReadExactAt(stream, area.end, int64_t(at), 4, bytes) &&
         LoadU32(bytes, 0) == kCentralHeaderSignature;
}

// Where an archive proper whose offsets count from its own start begins: at
// its first local header. The directory that starts at its stated offset
// moved by such a prefix leaves its stated size before the end, so the
// search ends there: a large file is not read in vain.
int64_t FirstLocalHeader(platform::Stream& stream, const CentralArea& area, uint64_t before_end) {
  if (area.offset > before_end) return 0;
  const uint64_t limit = std::min(before_end - area.offset + 4, uint64_t(area.end));
  SignatureScanner scanner(stream, int64_t(limit), kLocalHeaderSignature);
  return scanner.NextFrom(0).value_or(0);
}

// Where the directory of `area` may start, by `place` in order of trust:
// right before the end records, as its stated size says (0); at its stated
// offset (1); there moved by a prefix that the offsets do not count, when
// bytes stand between the directory and the end records (2). nullopt when
// no central header starts there.
std::optional<int64_t> DirectoryPlace(platform::Stream& stream, const CentralArea& area,
                                      int place) {
  const uint64_t before_end = uint64_t(area.end) - area.size;
  uint64_t at = place == 0 ? before_end : area.offset;
  if (place == 2) at = Moved(area.offset, FirstLocalHeader(stream, area, before_end));
  if (!DirectoryAt(stream, area, at)) return std::nullopt;
  return int64_t(at);
}

// Reads the directory of `area` through `read` from the first place that
// holds it whole, and gives that place. Throws EPLFormatDamage: the damage
// found at the first place where a central header starts, or, when there is
// none, that the directory is not where the end record says; but with no
// header counted, an empty directory right before the end records is sound.
int64_t ReadFromFirstPlaceThatHoldsIt(platform::Stream& stream, const CentralArea& area,
                                      const std::function<void(int64_t)>& read) {
  if (area.size > uint64_t(area.end))
    throw EPLFormatDamage("the central directory does not fit before the end record");
  std::optional<EPLFormatDamage> damage;
  for (int place = 0; place < (area.count == 0 ? 2 : 3); ++place) {
    const std::optional<int64_t> start = DirectoryPlace(stream, area, place);
    if (!start) continue;
    try {
      read(*start);
      return *start;
    } catch (const EPLFormatDamage& failure) {
      if (!damage) damage = failure;
    }
  }
  if (damage) throw *damage;
  if (area.count != 0)
    throw EPLFormatDamage("the central directory is not where the end record says");
  const auto before_end = static_cast<int64_t>(uint64_t(area.end) - area.size);
  read(before_end);
  return before_end;
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
    : stream_(&stream),
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

void TPLDirManager::LoadDirectory(const EngineSettings& settings) {
  Reset();
  stub_size_ = 0;
  is_zip64_ = false;
  rebuild_reason_.clear();
  EndRecord found;
  if (!FindEndRecord(found, end_record_position_))
    return RebuildFor("no end record", settings, false);
  end_record_ = found;
  const int64_t end = ReadZip64Records(*stream_, end_record_position_,
                                       {zip64_locator_, zip64_end_record_, is_zip64_});
  // Without Zip64 records a saturated count (0xFFFF) or size or offset
  // (0xFFFFFFFF) means that very value: an archive of exactly 65,535 entries
  // is sound. Only when the directory found disagrees is it damaged.
  SetDiskNumbers(end_record_, is_zip64_ ? &zip64_end_record_ : nullptr, zip64_locator_, this_disk_,
                 directory_disk_);
  if (ReadCentralDirectory(settings, end)) FinishLoad(settings, end);
}

void TPLDirManager::RebuildFor(std::string reason, const EngineSettings& settings,
                               bool end_record_found) {
  rebuild_reason_ = std::move(reason);
  RebuildDirectory(settings, end_record_found);
}

bool TPLDirManager::ReadCentralDirectory(const EngineSettings& settings, int64_t end) {
  const CentralArea area = is_zip64_ ? AreaOf(end, zip64_end_record_) : AreaOf(end, end_record_);
  const auto read = [&](int64_t start) {
    dir_.Clear();
    ReadCentralHeaders(*stream_, start, area.size, area.count, settings.names.oem, code_pages_,
                       dir_);
  };
  std::string damage;
  try {
    central_dir_offset_ = ReadFromFirstPlaceThatHoldsIt(*stream_, area, read);
    return true;
  } catch (const EPLFormatDamage& failure) {
    if (!settings.reading.repair_directory) throw;
    damage = failure.Reason();
  }
  RebuildFor(std::move(damage), settings, true);
  return false;
}

void TPLDirManager::FinishLoad(const EngineSettings& settings, int64_t end) {
  if (!settings.reading.repair_directory && TotalPackedSize(dir_) > uint64_t(stream_->Size()))
    throw EPLException::Create(errc::kDamagedArchive);
  if (this_disk_ != 0) return;
  const StubInfo stub = DetectStub(*stream_, dir_, end, central_dir_offset_);
  stub_size_ = stub.stub_size;
  ShiftOffsets(dir_, stub.shift);
}

}  // namespace parcelon

// Reads the central directory of an open archive stream into the in-memory
// directory, or rebuilds it from the local headers when it is missing or
// damaged, and keeps the end records for the writer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/common/settings.h"
#include "archive/directory/dir_array.h"
#include "archive/format/records.h"
#include "platform/code_pages.h"
#include "platform/stream.h"

namespace parcelon {

class TPLDirManager {
 public:
  // `stream` (the archive) and `code_pages` must outlive the manager.
  // `creating`: the manager starts a new archive (nothing is read).
  TPLDirManager(platform::Stream& stream, const platform::CodePages& code_pages, bool creating);

  // Empties the directory and prepares an end record with only its signature.
  void Reset();

  // Finds the end of central directory record in the final 65,600 bytes:
  // among the records that validate, the first whose comment ends at the end
  // of the stream, else the last one. On success fills `record` and
  // `position` and reads the archive comment. Never throws for malformed
  // data (stream errors pass).
  bool FindEndRecord(EndRecord& record, int64_t& position);
  // FindEndRecord into the kept end record; with `repair` reports true
  // whatever was found.
  bool LocateEnd(bool repair);
  // Fills the directory from the central directory, read right before the
  // end records where its stated size puts it, else at its stated offset, as
  // it stands or moved by a prefix that the offsets do not count; an entry is
  // made only of a central header. Rebuilds it from the local headers
  // instead when there is no end record, when the end record counts 65,535
  // entries without Zip64 records, or when the central directory is damaged
  // (EPLFormatDamage) and repair (settings.reading.repair_directory) is
  // on; RebuildReason() then says why. With repair off the damage passes.
  // Names without flag bit 11 are read as settings.names.oem says. Raises
  // error 35, 40 or 57. Failures of the stream and running out of memory
  // pass as they are: they never cause a rebuild.
  void LoadDirectory(const EngineSettings& settings);
  // Fills the directory from the local headers in file order. Raises 35
  // when there is no local header signature, or when none of them is an
  // acceptable header.
  void RebuildDirectory(const EngineSettings& settings, bool end_record_found);

  TPLDirArray& Dir() { return dir_; }
  // The snapshot an update transaction takes of the directory; the two
  // share their records until either writes one (see TPLDirArray::Assign).
  // Empty outside a transaction.
  TPLDirArray& BackupDir() { return backup_dir_; }
  // Undoes the transaction: the directory becomes the snapshot again, which
  // is then released.
  void RestoreSnapshot() {
    dir_.Assign(backup_dir_);
    backup_dir_.Release();
  }
  platform::Stream& Stream() { return *stream_; }
  // Moves the manager to another stream holding the same archive (a commit
  // that wrote the archive anew); `stream` must outlive the manager.
  void SetStream(platform::Stream& stream) { stream_ = &stream; }

  const std::string& ArchiveComment() const { return archive_comment_; }
  void SetArchiveComment(std::string comment) { archive_comment_ = std::move(comment); }
  EndRecord& EndRec() { return end_record_; }
  Zip64EndRecord& Zip64End() { return zip64_end_record_; }
  Zip64Locator& Zip64Loc() { return zip64_locator_; }
  int64_t StubSize() const { return stub_size_; }
  void SetStubSize(int64_t size) { stub_size_ = size; }
  bool IsZip64() const { return is_zip64_; }
  int64_t CentralDirOffset() const { return central_dir_offset_; }
  void SetCentralDirOffset(int64_t offset) { central_dir_offset_ = offset; }
  bool Creating() const { return creating_; }
  // Where the end record was found by the last load, -1 when none.
  int64_t EndRecordPosition() const { return end_record_position_; }
  // The disk numbers the last load found (0 for a single file).
  uint32_t ThisDisk() const { return this_disk_; }
  uint32_t DirectoryDisk() const { return directory_disk_; }
  // Why the last load rebuilt the directory from the local headers instead
  // of reading the central directory, in a few stable lower-case words ("no
  // end record", "central header 3 is damaged"); empty when it read the
  // directory.
  const std::string& RebuildReason() const { return rebuild_reason_; }

 private:
  void RebuildFor(std::string reason, const EngineSettings& settings, bool end_record_found);
  // Reads the central directory whose end records start at `end`; false
  // when it was damaged and rebuilt instead.
  bool ReadCentralDirectory(const EngineSettings& settings, int64_t end);
  // The damage check without repair, and the stub detection.
  void FinishLoad(const EngineSettings& settings, int64_t end);

  platform::Stream* stream_;
  const platform::CodePages& code_pages_;
  bool creating_;
  TPLDirArray backup_dir_;
  TPLDirArray dir_;
  std::string archive_comment_;
  Zip64Locator zip64_locator_;
  Zip64EndRecord zip64_end_record_;
  EndRecord end_record_;
  int64_t stub_size_ = 0;
  bool is_zip64_ = false;
  int64_t central_dir_offset_ = 0;
  int64_t end_record_position_ = -1;
  uint32_t this_disk_ = 0;
  uint32_t directory_disk_ = 0;
  std::string rebuild_reason_;
};

}  // namespace parcelon

// The read-only entry view and the runs over a given list of entries that
// the front ends use instead of the directory itself.
#include <utility>

#include "archive/base_archiver.h"
#include "archive/errors/pl_exception.h"

namespace parcelon {

int32_t TPLBaseArchiver::EntryCount() {
  CheckOpen();
  return dir_manager_->Dir().Count();
}

EntryView TPLBaseArchiver::Entry(int32_t index) {
  CheckEntryIndex(index);
  return EntryView(std::as_const(dir_manager_->Dir()).Items(index));
}

ArchiveSummary TPLBaseArchiver::Summary() {
  CheckOpen();
  TPLDirManager& manager = *dir_manager_;
  const bool zip64 = manager.IsZip64();
  const EndRecord& end = manager.EndRec();
  return {manager.Dir().Count(),
          zip64 ? manager.Zip64End().TotalEntries : end.TotalEntries,
          manager.ArchiveComment(),
          manager.StubSize(),
          zip64,
          manager.CentralDirOffset(),
          zip64 ? manager.Zip64End().DirectorySize : end.DirectorySize,
          manager.EndRecordPosition(),
          manager.ThisDisk(),
          manager.RebuildReason()};
}

void TPLBaseArchiver::ExtractEntry(int32_t index, const std::u16string& folder) {
  CheckEntryIndex(index);
  MarkOnly({index});
  const std::u16string base_dir = std::exchange(base_dir_, folder);
  try {
    ProcessFiles(poExtract, index);
  } catch (...) {
    base_dir_ = base_dir;
    throw;
  }
  base_dir_ = base_dir;
}

void TPLBaseArchiver::ProcessEntries(TPLProcessOperation operation,
                                     const std::vector<int32_t>& indices) {
  for (const int32_t index : indices) CheckEntryIndex(index);
  MarkOnly(indices);
  ProcessFiles(operation, -1);
}

void TPLBaseArchiver::CheckEntryIndex(int32_t index) {
  CheckOpen();
  if (index < 0 || index >= dir_manager_->Dir().Count())
    throw EPLException::Create(errc::kProcessOutOfBounds, this);
}

void TPLArchiverState::MarkOnly(const std::vector<int32_t>& indices) {
  TPLDirArray& dir = dir_manager_->Dir();
  dir.ClearMarks();
  for (const int32_t index : indices) dir.Items(index).Marked = true;
}

}  // namespace parcelon

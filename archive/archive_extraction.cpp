// Running operations over entries: extracting, testing, deleting and
// re-marking them, through the per-entry dispatcher of TPLProcessRun.
#include <mutex>
#include <utility>

#include "archive/base_archiver.h"
#include "archive/codec/decompressor.h"
#include "archive/common/entry_path.h"
#include "archive/engine_lock.h"
#include "archive/errors/pl_exception.h"
#include "archive/extract/aes_key_planning.h"
#include "archive/extract/entry_metadata.h"
#include "archive/extract/extracted_files.h"
#include "archive/extract/file_extractor.h"
#include "archive/extract/overlap_check.h"
#include "archive/extract/process_run.h"
#include "archive/format/overwrite_rule.h"
#include "platform/null_stream.h"
#include "platform/unicode.h"

namespace parcelon {

void TPLBaseArchiver::ExtractFiles(const std::u16string& file_mask, int32_t search_attr,
                                   const std::u16string& exclusion_mask) {
  CheckOpen();
  CheckNoUpdate();
  const bool single = !options_.Recurse() &&
                      file_mask.find_first_of(u"*?") == std::u16string::npos &&
                      exclusion_mask.empty() && search_attr == kAllEntries;
  if (!single) {
    MarkFiles(file_mask, search_attr, exclusion_mask);
    return ProcessFiles(poExtract, -1);
  }
  TPLArchiveItem item;
  if (!FindFirst(file_mask, item, search_attr, exclusion_mask)) return;
  dir_manager_->Dir().Items(item.SearchRec.ItemIndex).Marked = true;
  ProcessFiles(poExtract, item.SearchRec.ItemIndex);
}

void TPLBaseArchiver::TestFiles(const std::u16string& file_mask, int32_t search_attr,
                                const std::u16string& exclusion_mask) {
  CheckOpen();
  CheckNoUpdate();
  MarkFiles(file_mask, search_attr, exclusion_mask);
  ProcessFiles(poTest, -1);
}

void TPLBaseArchiver::DeleteFiles(const std::u16string& file_mask, int32_t search_attr,
                                  const std::u16string& exclusion_mask) {
  CheckOpen();
  MarkFiles(file_mask, search_attr, exclusion_mask);
  BeginUpdate();
  try {
    ProcessFiles(poDelete, -1);
    EndUpdate();
  } catch (...) {
    CancelUpdate();
    throw;
  }
}

void TPLBaseArchiver::MarkFiles(const std::u16string& file_mask, int32_t search_attr,
                                const std::u16string& exclusion_mask) {
  CheckOpen();
  TPLDirArray& dir = dir_manager_->Dir();
  dir.ClearMarks();
  TPLArchiveItem item;
  for (bool found = FindFirst(file_mask, item, search_attr, exclusion_mask); found;
       found = FindNext(item))
    dir.Items(item.SearchRec.ItemIndex).Marked = true;
}

// An extraction run's files are put in place durably at its end, also when
// it ends by a failure other than an engine error (the entries done so far
// stay done).
void TPLBaseArchiver::ProcessFiles(TPLProcessOperation operation, int32_t index) {
  CheckOpen();
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  // Only an update changes the directory (and its end forgets the overlaps):
  // outside one they are found once, not for every run.
  if (InUpdate() || overlaps_.size() != size_t(dir_manager_->Dir().Count()))
    FindOverlappingEntries();
  TPLProcessRun::Host host{dir_manager_->Dir(), events_, run_progress_, DestinationFolder(),
                           [this] { CancelUpdate(); }};
  ExtractedFiles files(*file_system_, this, SettingsNow().files.durable_extraction);
  ExtractedFiles* const outer = std::exchange(extracted_files_, &files);  // a handler's run
  std::shared_ptr<AesKeyReadAhead> outer_keys = std::exchange(aes_keys_ahead_, nullptr);
  const bool outer_plan = std::exchange(plan_aes_keys_, index < 0);
  try {
    TPLProcessRun(std::move(host), operation,
                  [this, operation](int32_t entry, const std::u16string& name,
                                    const std::u16string& dest_dir) {
                    RunWorker(operation, entry, name, dest_dir);
                  })
        .Run(index);
  } catch (...) {
    extracted_files_ = outer;
    aes_keys_ahead_ = std::move(outer_keys);  // the run's own stops
    plan_aes_keys_ = outer_plan;
    files.CommitQuietly();
    throw;
  }
  extracted_files_ = outer;
  aes_keys_ahead_ = std::move(outer_keys);
  plan_aes_keys_ = outer_plan;
  files.Commit();
}

void TPLBaseArchiver::RunWorker(TPLProcessOperation operation, int32_t index,
                                const std::u16string& name, const std::u16string& dest_dir) {
  switch (operation) {
    case poDelete:
      return DeleteOneFile(index);
    case poUpdate:
      return UpdateOneFile(index, name, dest_dir);
    case poExtract:
      return ExtractOneFile(index, name, dest_dir);
    case poTest:
      return TestOneFile(index, name);
    default:
      return;
  }
}

// BaseDir, or the process's current folder as the first run found it,
// ending in '/'.
std::u16string TPLArchiverState::DestinationFolder() {
  if (working_dir_.empty()) working_dir_ = platform::Utf8ToUtf16(file_system_->CurrentFolder());
  std::u16string folder = base_dir_.empty() ? working_dir_ : base_dir_;
  if (!folder.ends_with(u'/')) folder.push_back(u'/');
  return folder;
}

void TPLArchiverState::FindOverlappingEntries() {
  overlaps_ = FindOverlaps(dir_manager_->Dir(), uint64_t(dir_manager_->CentralDirOffset()));
}

void TPLBaseArchiver::ExtractOneFile(int32_t index, const std::u16string& name,
                                     const std::u16string& dest_dir) {
  const TDirItem& entry = dir_manager_->Dir().Items(index);
  const EngineSettings settings = SettingsNow();
  parcelon::ExtractEntry(
      entry, name, dest_dir,
      [this, index](platform::Stream& file) { ExtractItemToStream(index, file); },
      {.fs = *file_system_, .events = events_, .files = *extracted_files_, .settings = settings},
      run_progress_, run_progress_.skip_file);
}

void TPLBaseArchiver::TestOneFile(int32_t index, const std::u16string&) {
  if (dir_manager_->Dir().Items(index).IsFolder()) return;
  platform::TNullStream nothing;
  ExtractItemToStream(index, nothing);
}

void TPLBaseArchiver::DeleteOneFile(int32_t index) {
  RemoveItem(index);
}

// Makes the disk file of an entry its new source, when the overwrite rules
// (with the dates compared the other way round) let the file replace it.
void TPLBaseArchiver::UpdateOneFile(int32_t index, const std::u16string& name,
                                    const std::u16string& dest_dir) {
  if (!InUpdate()) throw EPLException::Create(errc::kMarkOutsideUpdate, this);
  const TDirItem& entry = dir_manager_->Dir().Items(index);
  const std::u16string path = dest_dir + paths::SafeRelativePath(name);
  const platform::FileInfo disk = file_system_->Stat(platform::Utf16ToUtf8(path));
  if (entry.IsFolder() || !disk.exists || disk.is_directory) return;
  if (!options_.ReplaceReadOnly() && (entry.ExternalAttributes & faReadOnly) != 0) return;
  if (!DiskFileMayReplace(entry, name, path, disk)) return;
  MarkItemForUpdate(index, path);
}

bool TPLBaseArchiver::DiskFileMayReplace(const TDirItem& entry, const std::u16string& name,
                                         std::u16string path, const platform::FileInfo& disk) {
  return MayOverwrite(options_.OverwriteMode(), FileDosDateTime(disk),
                      DosDateTime{entry.FileDate, entry.FileTime},
                      [&] { return events_.ConfirmOverwrite(name, path); });
}

void TPLBaseArchiver::ExtractItemToStream(int32_t index, platform::Stream& destination) {
  TPLDirArray& dir = dir_manager_->Dir();
  if (index < 0 || index >= dir.Count())
    throw EPLException::Create(errc::kProcessOutOfBounds, this);
  const TDirItem& entry = dir.Items(index);
  if (overlaps_.size() != size_t(dir.Count())) FindOverlappingEntries();
  if (overlaps_[size_t(index)])
    throw EPLException::CreateWithReason(
        errc::kCorruptedData, u"its data overlaps another entry or the central directory", this);
  if (entry.LocalHeaderOffset64() >= uint64_t(archive_stream_->Size()))
    throw EPLException::CreateWithReason(errc::kCorruptedData, u"its data lies outside the archive",
                                         this);
  run_progress_.skip_file = false;
  const EngineSettings settings = SettingsNow();
  // Held here too: a handler's run or close during the decoding drops the member.
  const std::shared_ptr<AesKeyReadAhead> keys_ahead = PlanAesKeys(index, settings.password);
  archive_stream_->Seek(int64_t(entry.LocalHeaderOffset64()), platform::SeekOrigin::kBegin);
  const DecodeSettings decode{.events = events_,
                              .progress = run_progress_,
                              .engine = settings,
                              .data_limit = uint64_t(dir_manager_->CentralDirOffset()),
                              .keys_ahead = keys_ahead.get()};
  const bool sound = DecompressItem(*archive_stream_, destination, entry, decode);
  if (!sound && !run_progress_.cancel && !settings.reading.extract_corrupted_files &&
      !run_progress_.skip_file)
    throw EPLException::Create(errc::kCorruptedData, this);
}

std::shared_ptr<AesKeyReadAhead> TPLBaseArchiver::PlanAesKeys(int32_t index,
                                                              const SharedSecret& password) {
  if (!plan_aes_keys_) return nullptr;
  const AesKeyPlanning planning{.dir = dir_manager_->Dir(),
                                .overlaps = overlaps_,
                                .archive = *archive_stream_,
                                .data_limit = uint64_t(dir_manager_->CentralDirOffset()),
                                .marked_only = extracted_files_ != nullptr,  // in a run
                                .password = password};
  PlanAesKeysAfter(index, planning, aes_keys_ahead_);
  return aes_keys_ahead_;
}

}  // namespace parcelon

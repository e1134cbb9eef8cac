#include "archive/update/commit.h"

#include <algorithm>
#include <stdexcept>

#include "archive/errors/pl_exception.h"
#include "archive/update/central_directory_writer.h"
#include "archive/update/entry_copier.h"
#include "archive/update/entry_read_ahead.h"
#include "archive/update/moved_source.h"
#include "platform/exception.h"
#include "platform/unicode.h"

namespace parcelon {
namespace {

bool WritesNewData(const TDirItem& item) {
  return item.Modified && item.Operation != poRename && item.Operation != poChangeAttr &&
         item.Operation != poChangeComment;
}

// An entry whose new data was given up and that had no old version is
// dropped: a new file, added or moved in.
bool IsNewEntry(const TDirItem& item) {
  return item.Operation == poAdd || (item.Operation == poMove && item.SnapshotIndex < 0);
}

// Removes `path` and the folders below it, deepest first; links are not
// followed. Fails (IoError) where a folder still holds anything else.
void RemoveFolderTree(platform::FileSystem& fs, const std::string& path) {
  for (const platform::FolderEntry& entry : fs.ListFolder(path))
    if (entry.info.is_directory && !entry.is_link) RemoveFolderTree(fs, path + "/" + entry.name);
  fs.RemoveFolder(path);
}

uint64_t PendingSize(const TDirItem& item) {
  return item.IsZip64 ? item.Zip64UnpackedSize : item.UnpackedSize;
}

}  // namespace

TPLCommit::TPLCommit(TPLDirManager& manager, const CommitRequest& request)
    : manager_(manager), request_(request) {}

int32_t TPLCommit::FindFirstChange() {
  const TPLDirArray& dir = manager_.Dir();
  const TPLDirArray& snapshot = manager_.BackupDir();
  const int32_t common = std::min(dir.Count(), snapshot.Count());
  for (int32_t i = 0; i < common; ++i) {
    const TDirItem& item = dir.Items(i);
    if (item.Modified || item.Name != snapshot.Items(i).Name) return i;
  }
  return common;
}

void TPLCommit::ResetProgress() {
  progress_ = CommitProgress();
  progress_.reporting = true;
  operation_ = poDelete;
  bool first = true;
  const TPLDirArray& dir = manager_.Dir();
  for (int32_t i = 0; i < dir.Count(); ++i) {
    const TDirItem& item = dir.Items(i);
    if (!item.Modified) continue;
    progress_.total_bytes += PendingSize(item);
    if (first) operation_ = item.Operation;
    first = false;
  }
}

void TPLCommit::FireOverall(double percent, TPLProgressPhase phase) {
  request_.entries.events.OverallProgress(percent, operation_, phase, progress_.cancel);
}

CommitOutcome TPLCommit::Run() {
  ResetProgress();
  const int32_t first_change = FindFirstChange();
  FireOverall(0, ppStart);
  if (progress_.cancel) {
    manager_.RestoreSnapshot();
    return CommitOutcome::kNotStarted;
  }
  bool finished = false;
  try {
    KeepEndRecords();
    plan_ = PlanCut(manager_.BackupDir(), first_change, manager_.CentralDirOffset(),
                    manager_.StubSize(), request_.entries.archive);
    PrepareTarget(plan_.cut);
    finished = RewriteEntries(plan_.first) && FinishArchive();
  } catch (const std::exception& failure) {
    RollbackAfter(failure);
    throw;
  }
  if (!finished) {
    RollbackAfter(std::runtime_error("it was cancelled or aborted"));
    return CommitOutcome::kRolledBack;
  }
  DeleteMovedSources();
  FireOverall(100, ppEnd);  // the archive is committed: a cancel here undoes nothing
  return CommitOutcome::kNewArchiveInPlace;
}

void TPLCommit::KeepEndRecords() {
  end_record_ = manager_.EndRec();
  zip64_end_ = manager_.Zip64End();
  zip64_locator_ = manager_.Zip64Loc();
  central_dir_offset_ = manager_.CentralDirOffset();
}

// A new file when the tail is most of the archive and the file may be
// replaced (and its folder takes a new file), else in place.
void TPLCommit::PrepareTarget(int64_t cut) {
  const EntryWriteContext& e = request_.entries;
  const EngineSettings::Writing& writing = e.settings.writing;
  const int64_t size = e.archive.Size();
  const int64_t tail = size - cut;
  if (!request_.replace_path.empty() && tail >= writing.rewrite_threshold && 2 * tail > size) {
    target_ = std::make_unique<NewFileTarget>(e.fs, e.archive, request_.replace_path,
                                              writing.flush_buffers);
    try {
      target_->Prepare(cut);
    } catch (const platform::EStreamError& failure) {
      if (!platform::IsRefusal(failure.Errno())) throw;
      target_.reset();
    }
  }
  if (!target_) {
    target_ = std::make_unique<InPlaceTarget>(e.fs, e.archive, request_.tail_place,
                                              writing.flush_buffers);
    target_->Prepare(cut);
  }
  output_.emplace(EntryWriteContext{.archive = target_->Output(),
                                    .fs = e.fs,
                                    .code_pages = e.code_pages,
                                    .events = e.events,
                                    .settings = e.settings});
  manager_.SetStream(target_->Output());
}

// Writes or copies every entry from `first` on; false when a handler
// cancelled or an answer aborted.
bool TPLCommit::RewriteEntries(int32_t first) {
  state_ = EntryState::kCarryOn;
  const TPLDirArray& dir = manager_.Dir();
  new_offsets_.assign(static_cast<size_t>(dir.Count()), kKeptOffset);
  const std::unique_ptr<EntryReadAhead> ahead =
      EntryReadAhead::Start(*output_, request_.entries.settings.writing.threads);
  const CommitGuard detach([this] { output_->read_ahead = nullptr; });
  output_->read_ahead = ahead.get();
  for (int32_t index = first; index < dir.Count(); ++index) {
    const TDirItem& item = dir.Items(index);
    if (!WritesNewData(item)) {
      progress_.copy_bytes += item.PackedSize64();
    } else if (ahead) {
      ahead->Plan(item);
    }
  }
  for (int32_t index = first; index < manager_.Dir().Count();) {
    WriteOneEntry(index);
    if (state_ == EntryState::kAbort || progress_.cancel) return false;
  }
  return true;
}

// Writes entry `index` (again while the answer is retry), and moves on to
// the next one: an entry that failed and was skipped keeps its old version,
// or is dropped when it had none. An entry that is only copied is read
// through const access, so that its record stays shared with the snapshot.
void TPLCommit::WriteOneEntry(int32_t& index) {
  const TPLDirArray& dir = manager_.Dir();
  bool written = true;
  do {
    if (WritesNewData(dir.Items(index))) {
      written = WriteNewEntry(manager_.Dir().Items(index), *output_, progress_, state_);
    } else {
      CopyOldVersion(index);
      ReportCopy(dir.Items(index));
    }
  } while (state_ == EntryState::kRetry);
  if (state_ == EntryState::kAbort || progress_.cancel) return;
  if (written) {
    ++index;
  } else if (IsNewEntry(dir.Items(index))) {
    manager_.Dir().Delete(index);
    new_offsets_.erase(new_offsets_.begin() + index);
  } else {
    CopyOldVersion(index);
    ++index;
  }
}

// The new offset is kept aside until the commit point.
void TPLCommit::CopyOldVersion(int32_t index) {
  new_offsets_[static_cast<size_t>(index)] =
      CopyEntry(manager_.Dir(), index, manager_.BackupDir(), target_->Old(), *output_);
}

// Moves the overall progress past a copied entry, so that a commit that
// only copies (after a deletion) still shows its work.
void TPLCommit::ReportCopy(const TDirItem& item) {
  progress_.copied_bytes += item.PackedSize64();
  FireOverall(progress_.Percent(0), ppProcess);
}

// The central directory and the commit point; true once the new archive
// is in place.
bool TPLCommit::FinishArchive() {
  const EntryWriteContext& context = *output_;
  written_ = WriteCentralDirectory(manager_, context.code_pages, context.settings, new_offsets_);
  target_->Commit();
  if (request_.publish) request_.publish();
  past_commit_point_ = true;
  AdoptNewDirectory();
  target_->MakeCommitDurable();
  if (request_.after_publish) request_.after_publish();
  return true;
}

// The snapshot goes first: then every record is the directory's own, and
// writing the new offsets and headers into them allocates nothing.
void TPLCommit::AdoptNewDirectory() noexcept {
  manager_.BackupDir().Release();
  AdoptWrittenHeaders(manager_.Dir(), written_, new_offsets_);
  written_ = {};
  new_offsets_ = {};
}

void TPLCommit::RollbackUpdate() {
  manager_.RestoreSnapshot();
  manager_.EndRec() = end_record_;
  manager_.Zip64End() = zip64_end_;
  manager_.Zip64Loc() = zip64_locator_;
  manager_.SetCentralDirOffset(central_dir_offset_);
  manager_.SetStream(request_.entries.archive);
  if (target_) target_->Rollback();
}

// Rolls back after `failure`, unless the commit point was passed; when the
// rollback fails too, says both.
void TPLCommit::RollbackAfter(const std::exception& failure) {
  if (past_commit_point_) return;
  try {
    RollbackUpdate();
  } catch (const std::exception& second) {
    target_.reset();  // a journal stays for the next open
    throw ERollbackFailed(
        platform::Utf8ToUtf16(std::string("The update failed (") + failure.what() +
                              ") and the archive could not be restored (" + second.what() +
                              "); it is restored when it is opened again"));
  }
}

void TPLCommit::DeleteMovedSources() {
  for (const bool folders : {false, true}) {
    const TPLDirArray& dir = manager_.Dir();
    for (int32_t i = 0; i < dir.Count() && state_ != EntryState::kAbort; ++i) {
      const TDirItem& item = dir.Items(i);
      if (!item.Modified || item.Operation != poMove || item.IsFolder() != folders) continue;
      if (folders) {
        DeleteMovedFolder(item);
      } else {
        DeleteMovedFile(item);
      }
    }
  }
}

// A source that changed since it was stored is kept and reported.
void TPLCommit::DeleteMovedFile(const TDirItem& item) {
  platform::FileSystem& fs = request_.entries.fs;
  const std::string path = platform::Utf16ToUtf8(item.SourceFileName());
  for (bool stop = false; !stop;) {
    if (!MovedSourceUnchanged(fs, item)) {
      ReportLateFailure(item, errc::kCannotDeleteSource, stop, u"it changed after it was stored");
      continue;
    }
    try {
      fs.Remove(path);
      return;
    } catch (const platform::IoError&) {
      // Cleared of its read-only mark, the file gets one more try.
    }
    try {
      fs.SetPermissions(path, fs.Stat(path).mode | 0200);
      fs.Remove(path);
      return;
    } catch (const platform::IoError&) {
      ReportLateFailure(item, errc::kCannotDeleteSource, stop);
    }
  }
}

// Removes the folder and its subfolders, deepest first; it is gone when it
// no longer exists.
void TPLCommit::DeleteMovedFolder(const TDirItem& item) {
  platform::FileSystem& fs = request_.entries.fs;
  std::string path = platform::Utf16ToUtf8(item.SourceFileName());
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  for (bool stop = false; !stop;) {
    try {
      RemoveFolderTree(fs, path);
    } catch (const platform::IoError&) {
      // Judged by whether the folder is still there.
    }
    if (!fs.Exists(path)) return;
    ReportLateFailure(item, errc::kCannotDeleteFolder, stop);
  }
}

// Offers a failure to delete a moved source to the failure event: retry
// goes on trying, ignore stops trying this one, abort stops the deleting.
void TPLCommit::ReportLateFailure(const TDirItem& item, int32_t native_error, bool& stop,
                                  const std::u16string& reason) {
  const EPLException failure = EPLException::CreateFmt(native_error, {item.SourceFileName()},
                                                       request_.entries.settings.component);
  const std::u16string message =
      reason.empty() ? failure.Message() : failure.Message() + u" (" + reason + u")";
  const TPLAction action = request_.entries.events.ProcessFileFailure(
      item.SourceFileName(), poMove, failure.NativeError(), failure.ErrorCode(), message);
  stop = action != fxaRetry;
  if (action == fxaAbort) state_ = EntryState::kAbort;
}

}  // namespace parcelon

// The commit of an update transaction: rewrites the archive in place from
// the first changed entry on, with a new central directory, keeping the old
// tail as a rollback journal until the new archive is complete.
//
// The archive before the cut is never touched. The old tail is copied aside
// (and synced, with its folder, when durability is asked for) before the
// archive is cut; the entries from the cut on are then written anew or
// copied back, the central directory follows, the archive is synced, and
// deleting the tail copy commits. Any failure or cancel before that point
// restores the old tail and the directory as they were; a crash is undone
// by the next open (RecoverJournal). After it, only the sources of moved
// entries are deleted and the end is reported; nothing is undone then.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/codec/progress.h"
#include "archive/directory/dir_manager.h"
#include "archive/update/cut_plan.h"
#include "archive/update/entry_writer.h"
#include "archive/update/rollback_journal.h"
#include "platform/exception.h"

namespace parcelon {

struct CommitSettings {
  // The archive, the file system, code pages, events, names and entry
  // settings.
  EntryWriteContext entries;
  TailCopy::Place tail_place;  // where the old tail is kept
  bool flush_buffers = true;   // sync before each step that makes data visible
};

enum class CommitOutcome {
  kCommitted,   // the new archive is in place
  kNotStarted,  // cancelled at the start: nothing was written
  kRolledBack,  // cancelled or aborted: the archive is as it was
};

// The commit failed and the old tail could not be put back either; the
// archive is restored from its journal when it is next opened.
class ERollbackFailed : public platform::EStreamError {
 public:
  using platform::EStreamError::EStreamError;
};

class TPLCommit {
 public:
  // `manager` holds the current directory and the snapshot (BackupDir)
  // taken when the transaction began; both must outlive the commit.
  TPLCommit(TPLDirManager& manager, const CommitSettings& settings);
  TPLCommit(const TPLCommit&) = delete;
  TPLCommit& operator=(const TPLCommit&) = delete;

  // Runs the commit. Failures before the commit point are rolled back (the
  // directory becomes the snapshot again) and then propagate; a failure of
  // the rollback itself raises ERollbackFailed. After the commit point a
  // failure (the folder sync) propagates without undoing anything.
  CommitOutcome Run();

  // The first index where the current directory and the snapshot differ
  // (by exact name, or a modified mark), or the smaller count.
  int32_t FindFirstChange();
  // Whether the tail copy of the last run could have been recovered after
  // a crash.
  bool Recoverable() const { return recoverable_; }

 private:
  void ResetProgress();
  void SaveTail(int64_t cut);
  bool RewriteEntries(int32_t first);
  void WriteOneEntry(int32_t& index);
  bool FinishArchive();
  void DropTempFile();
  void RestoreTail();
  void RollbackUpdate();
  void RollbackAfter(const std::exception& failure);
  void DeleteMovedSources();
  void DeleteMovedFile(const TDirItem& item);
  void DeleteMovedFolder(const TDirItem& item);
  void ReportLateFailure(const TDirItem& item, int32_t native_error, bool& stop);
  void FireOverall(double percent, TPLProgressPhase phase);

  TPLDirManager& manager_;
  CommitSettings settings_;
  CommitProgress progress_;
  std::unique_ptr<TailCopy> tail_;
  CutPlan plan_;
  EntryState state_ = EntryState::kCarryOn;
  TPLProcessOperation operation_ = poDelete;
  bool recoverable_ = false;
  bool committed_ = false;  // the commit point is passed
  // The end records as they were, for a rollback.
  EndRecord end_record_;
  Zip64EndRecord zip64_end_;
  Zip64Locator zip64_locator_;
  int64_t central_dir_offset_ = 0;
};

}  // namespace parcelon

// The commit of an update transaction: rewrites the archive from the first
// changed entry on, with a new central directory, so that a failure, a
// cancel or a crash at any instant leaves the old archive or the new one.
//
// The archive before the cut is never touched. A commit target (see
// commit_target.h) either keeps the old tail aside as a rollback journal and
// rewrites the archive in place, or writes the archive anew into a file
// beside it, whichever copies less. The entries from the cut on are written
// anew or copied, the central directory follows, and the target commits.
// Any failure or cancel before that point restores the directory and the
// archive as they were; a crash is undone by the next open (RecoverJournal;
// every step and what a crash after it leaves: crash_protocol.h).
// After it, only the sources of moved entries are deleted and the end is
// reported; nothing is undone then.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/codec/progress.h"
#include "archive/directory/dir_manager.h"
#include "archive/update/central_directory_writer.h"
#include "archive/update/commit_target.h"
#include "archive/update/cut_plan.h"
#include "archive/update/entry_writer.h"
#include "archive/update/rollback_journal.h"
#include "platform/exception.h"

namespace parcelon {

// One commit: where it writes, and the decisions about the archive's file
// taken when it starts. The settings it writes by (the flush of each step,
// the rewrite threshold, everything entries are written by) are those of
// `entries.settings`.
struct CommitRequest {
  // The archive as it is, the file system, code pages, events and the
  // settings.
  EntryWriteContext entries;
  SavedTail::Place tail_place;  // where an in-place commit keeps the old tail
  // The archive's file with its links resolved, when it may be replaced by
  // a new one (a regular file with one name); empty to rewrite in place.
  std::string replace_path;
  // For an archive being created: `publish` makes it visible under its
  // name once it is written (the commit point; throws when it cannot, and
  // the commit is undone), `after_publish` then syncs its folder. Empty
  // otherwise.
  std::function<void()> publish;
  std::function<void()> after_publish;
};

// Runs an action when it goes out of scope, however that happens.
class CommitGuard {
 public:
  explicit CommitGuard(std::function<void()> action) : action_(std::move(action)) {}
  CommitGuard(const CommitGuard&) = delete;
  CommitGuard& operator=(const CommitGuard&) = delete;
  ~CommitGuard() { action_(); }

 private:
  std::function<void()> action_;
};

enum class CommitOutcome {
  kNewArchiveInPlace,  // the commit point was passed: the new archive is the archive
  kNotStarted,         // cancelled at the start: nothing was written
  kRolledBack,         // cancelled or aborted: the archive is as it was
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
  TPLCommit(TPLDirManager& manager, const CommitRequest& request);
  TPLCommit(const TPLCommit&) = delete;
  TPLCommit& operator=(const TPLCommit&) = delete;

  // Runs the commit. Failures before the commit point are rolled back (the
  // directory becomes the snapshot again) and then propagate; a failure of
  // the rollback itself raises ERollbackFailed. At the commit point the
  // directory takes the new offsets and header fields of what was written.
  // After it a failure (the folder sync) propagates without undoing
  // anything. Either way the snapshot is released.
  CommitOutcome Run();

  // The first index where the current directory and the snapshot differ
  // (by exact name, or a modified mark), or the smaller count.
  int32_t FindFirstChange();
  // Whether a crash during the last run would have been undone by the next
  // open.
  bool Recoverable() const { return target_ && target_->Recoverable(); }
  // Whether the commit point was passed: the new archive is in place,
  // whatever failed afterwards.
  bool PastCommitPoint() const { return past_commit_point_; }
  // The stream of the archive's new file, when a commit that passed its
  // commit point replaced the file; the archive's old stream then no longer
  // names it.
  std::unique_ptr<platform::Stream> TakeReplacement() {
    return target_ && past_commit_point_ ? target_->TakeReplacement() : nullptr;
  }

 private:
  void ResetProgress();
  void KeepEndRecords();
  void PrepareTarget(int64_t cut);
  bool RewriteEntries(int32_t first);
  void WriteOneEntry(int32_t& index);
  void CopyOldVersion(int32_t index);
  void ReportCopy(const TDirItem& item);
  bool FinishArchive();
  void AdoptNewDirectory() noexcept;
  void RollbackUpdate();
  void RollbackAfter(const std::exception& failure);
  void DeleteMovedSources();
  void DeleteMovedFile(const TDirItem& item);
  void DeleteMovedFolder(const TDirItem& item);
  void ReportLateFailure(const TDirItem& item, int32_t native_error, bool& stop,
                         const std::u16string& reason = {});
  void FireOverall(double percent, TPLProgressPhase phase);

  TPLDirManager& manager_;
  CommitRequest request_;
  CommitProgress progress_;
  std::unique_ptr<CommitTarget> target_;
  std::optional<EntryWriteContext> output_;  // the entry settings, writing to the target
  CutPlan plan_;
  // By directory position: the new local header offsets of the copied
  // entries (kKeptOffset for the others), and what each central header was
  // written with; the directory takes both at the commit point.
  std::vector<uint64_t> new_offsets_;
  std::vector<WrittenHeader> written_;
  EntryState state_ = EntryState::kCarryOn;
  TPLProcessOperation operation_ = poDelete;
  bool past_commit_point_ = false;  // the commit point is passed
  // The end records as they were, for a rollback.
  EndRecord end_record_;
  Zip64EndRecord zip64_end_;
  Zip64Locator zip64_locator_;
  int64_t central_dir_offset_ = 0;
};

}  // namespace parcelon

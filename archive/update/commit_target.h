// Where a commit writes the rewritten archive, and how it makes the result
// final or undoes it. Two ways, both leaving the old or the new archive
// after a crash at any instant:
// - in place: the old tail goes to a rollback journal, the archive is cut
//   and rewritten from the cut on; deleting the journal commits. Costs a
//   copy of the tail, twice.
// - into a new file: the archive is written anew beside the old one, which
//   stays untouched; renaming the new file over it commits. Costs a copy of
//   the whole archive, once: the better way when the tail is most of it.
// The ordered steps of both, and what a crash after each leaves:
// crash_protocol.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/update/old_entries.h"
#include "archive/update/rollback_journal.h"
#include "platform/file_system.h"
#include "platform/stream.h"

namespace parcelon {

class CommitTarget {
 public:
  virtual ~CommitTarget() = default;
  // Gets ready to write from archive offset `cut` on: Output() is then
  // positioned there and Old() holds the old archive from `cut` on.
  virtual void Prepare(int64_t cut) = 0;
  virtual platform::Stream& Output() = 0;
  virtual OldEntries& Old() = 0;
  // Makes the written archive the archive: the commit point, reached when
  // this returns. On a failure nothing is committed.
  virtual void Commit() = 0;
  // What follows the commit point (syncing the folder); never undone.
  virtual void MakeCommitDurable() = 0;
  // Puts the old archive back, before the commit point.
  virtual void Rollback() = 0;
  // Whether a crash before the commit point is undone by the next open
  // (false for a tail copy kept where no open looks for it).
  virtual bool Recoverable() const = 0;
  // The stream of the new archive file, when the commit replaced the file.
  virtual std::unique_ptr<platform::Stream> TakeReplacement() { return nullptr; }
};

// In place, with the old tail kept at `place`.
class InPlaceTarget : public CommitTarget {
 public:
  // `fs` and `archive` must outlive the target; `sync` syncs before each
  // step that makes data visible.
  InPlaceTarget(platform::FileSystem& fs, platform::Stream& archive, SavedTail::Place place,
                bool sync)
      : fs_(fs), archive_(archive), place_(std::move(place)), sync_(sync) {}

  void Prepare(int64_t cut) override;
  platform::Stream& Output() override { return archive_; }
  OldEntries& Old() override { return *tail_; }
  void Commit() override;
  void MakeCommitDurable() override;
  void Rollback() override;
  bool Recoverable() const override { return recoverable_; }

 private:
  // Copies the old tail aside (synced, with its folder, when asked).
  void SaveTail(int64_t cut);
  // Writes the old tail back over the cut archive.
  void RestoreTail();
  // Deletes the tail copy: for a journal, the commit point.
  void DropTempFile();

  platform::FileSystem& fs_;
  platform::Stream& archive_;
  SavedTail::Place place_;
  bool sync_;
  std::unique_ptr<SavedTail> tail_;
  std::string tail_path_;
  bool recoverable_ = false;
};

// Into a new file beside the archive at `archive_path` (a regular file
// with one name), renamed over it; the new file gets the archive's
// permissions and, where allowed, its owner.
class NewFileTarget : public CommitTarget {
 public:
  NewFileTarget(platform::FileSystem& fs, platform::Stream& archive, std::string archive_path,
                bool sync)
      : fs_(fs), archive_(archive), archive_path_(std::move(archive_path)), sync_(sync) {}
  ~NewFileTarget() override;

  void Prepare(int64_t cut) override;
  platform::Stream& Output() override { return *file_; }
  OldEntries& Old() override { return *old_; }
  void Commit() override;
  void MakeCommitDurable() override;
  void Rollback() override;
  bool Recoverable() const override { return true; }
  std::unique_ptr<platform::Stream> TakeReplacement() override { return std::move(file_); }

 private:
  platform::FileSystem& fs_;
  platform::Stream& archive_;
  std::string archive_path_;
  bool sync_;
  std::unique_ptr<platform::Stream> file_;
  std::string file_path_;  // empty once renamed or removed
  std::string old_file_;   // where the old archive lies after the swap
  std::unique_ptr<OldArchive> old_;
};

}  // namespace parcelon

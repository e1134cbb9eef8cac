// The copy of an archive's tail that a commit keeps while it rewrites the
// archive from the cut position on: the source of the entries it copies back
// and, until the commit is complete, the way back to the old archive.
//
// Beside a disk archive it is a rollback journal, the archive's name followed
// by "-journal", written and synced before the archive is cut. Deleting it is
// the commit point; an open that finds a complete journal restores the old
// tail first. A crash at any instant therefore leaves either the old or the
// new archive. The journal is created exclusively (never through a link at
// its name) with the archive's permission bits and, where allowed, its
// owner, and records which file it belongs to (device and inode), so that
// it is never applied to another file. Where the archive's folder refuses
// it, the update is refused unless the caller allowed an unprotected one;
// then, as for an archive that is no disk file, the copy goes to a scratch
// file (or memory) that no later open looks for.
//
// The journal's layout, and the steps of the commit and of the recovery
// with what a crash after each leaves: crash_protocol.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/common/component.h"
#include "archive/update/old_entries.h"
#include "platform/file_system.h"
#include "platform/stream.h"

namespace parcelon {

inline constexpr int64_t kJournalHeaderSize = 56;

class SavedTail : public OldEntries {
 public:
  // Where a copy goes: a journal at `journal_path` (empty for none), else a
  // scratch file in `scratch_folder` (empty for the system's temporary
  // folder), else memory when `in_memory`.
  struct Place {
    std::string journal_path;
    std::string scratch_folder;
    bool in_memory = false;
    // Whether a journal that its folder refuses gives way to a scratch
    // copy (an update a crash may damage); `on_unprotected` is then called
    // before the archive is cut.
    bool allow_unprotected = false;
    std::function<void()> on_unprotected;
    const TComponent* component = nullptr;  // names the engine in errors
  };

  // Copies archive[cut, end) into a new copy at `place` and, with `sync`,
  // syncs it and its folder before returning. A journal whose folder
  // refuses it raises EPLException (error 69) unless the place allows an
  // unprotected copy (Recoverable() is then false). Throws the stream and
  // file errors of the file system.
  static std::unique_ptr<SavedTail> Save(platform::FileSystem& fs, const Place& place,
                                         platform::Stream& archive, int64_t cut, bool sync);
  // Used by Save.
  SavedTail(platform::FileSystem& fs, std::unique_ptr<platform::Stream> stream, std::string path,
            bool recoverable);
  ~SavedTail() override;
  SavedTail(const SavedTail&) = delete;
  SavedTail& operator=(const SavedTail&) = delete;

  int64_t Cut() const override { return cut_; }
  int64_t End() const override { return cut_ + length_; }
  // Whether a later open would find and apply this copy.
  bool Recoverable() const { return recoverable_; }
  // Positions the copy at archive offset `offset` (Cut() <= offset) and
  // gives it for reading.
  platform::Stream& At(int64_t offset) override;
  // Puts the old tail back: the archive is cut at Cut(), the tail written
  // there and, with `sync`, the archive synced. Throws stream errors.
  void Restore(platform::Stream& archive, bool sync);
  // Closes and deletes the copy; for a journal this is the commit point
  // (the caller syncs its folder after). Throws the file system's errors.
  void Drop();
  // Where the copy lies; empty in memory.
  const std::string& Path() const { return path_; }

 private:
  void Fill(platform::Stream& archive, int64_t cut, const platform::FileInfo& identity);

  platform::FileSystem& fs_;
  std::unique_ptr<platform::Stream> stream_;
  std::string path_;  // empty in memory
  bool recoverable_;
  int64_t cut_ = 0;
  int64_t length_ = 0;
};

// The journal path of the archive at `archive_path`.
std::string JournalPathFor(const std::string& archive_path);
// How the new file of a commit that writes the archive anew begins: a dot,
// the archive's name and ".new" (six unique characters follow).
std::string NewFilePrefixFor(const std::string& archive_path);

// Removes the new files that a commit or the creation of an archive left
// unfinished beside `archive_path` (see NewFilePrefixFor); one that a live
// writer holds (locked) stays.
void RemoveUnfinishedNewFiles(platform::FileSystem& fs, const std::string& archive_path);

// Settles what a commit that did not finish left beside `archive_path`:
// new files it was writing are removed (the archive itself was untouched),
// and its journal is settled. A complete journal that belongs to the archive has the old tail
// restored (the archive is opened for writing, exclusively), the archive
// synced, then the journal deleted and its folder synced. An incomplete one
// (the crash came before the archive was cut) is deleted and the archive
// left alone. Throws platform::EFOpenError, naming the archive and the
// reason, when a complete journal cannot be applied: the archive cannot be
// written, or the journal does not belong to it (another file, by device
// and inode, or a journal owned by neither the archive's owner nor us; a
// symbolic link at the journal's name is never followed).
void RecoverJournal(platform::FileSystem& fs, const std::string& archive_path);

// Deletes the journal of `archive_path`, whose content was just given up
// (the file is created anew): it no longer applies. Throws IoError.
void DiscardJournal(platform::FileSystem& fs, const std::string& archive_path);

}  // namespace parcelon

// The files one extraction run writes, put in place together so that each
// is on stable storage before it takes its name.
//
// Every file is written under a hidden partial name beside its target (see
// PartOf) and waits here. A commit syncs the file systems that hold them
// (their data, times and permissions, and the folders made for them, or
// for folder entries), renames each to its target, and syncs again (the
// names). So a crash or a power cut at any instant leaves
// each target as it was or as extracted, never empty or half-written; what
// it can leave is a hidden partial copy, which the next extraction of that
// entry removes (RemoveStaleParts).
#pragma once

#include <sys/types.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/common/component.h"
#include "archive/extract/extract_target.h"
#include "platform/file_system.h"

namespace parcelon {

class ExtractedFiles {
 public:
  // `fs` and `component` (named in errors; may be null) must outlive this.
  // When `durable` is false, Commit renames without syncing anything: a
  // crash may then leave a target empty or half-written.
  ExtractedFiles(platform::FileSystem& fs, const TComponent* component, bool durable = true)
      : fs_(fs), component_(component), durable_(durable) {}
  ExtractedFiles(const ExtractedFiles&) = delete;
  ExtractedFiles& operator=(const ExtractedFiles&) = delete;

  // Takes the complete file at `part` to be put at `target` by the next
  // commit; commits at once when many files wait (raising what Commit does).
  void Add(const ExtractTarget& part, const ExtractTarget& target);
  // Notes that folders may be made below `root`, to be synced by the next
  // commit even when no file waits.
  void FoldersBelow(const std::string& root) { folder_roots_.insert(root); }
  // Whether a file waits to take `target`'s name.
  bool Waiting(const ExtractTarget& target) const;
  // Removes the partial copies of `target`'s file that an earlier run left
  // in its folder: regular files owned by `owner`, other than `own`.
  void RemoveStaleParts(const ExtractTarget& target, uid_t owner, const std::string& own);
  // Puts every waiting file in place, durably. A file that cannot take its
  // name is removed; then error 19 is raised with the first such target,
  // after the others are in place. When the data cannot be synced, every
  // waiting file is removed and error 19 names the first target.
  void Commit();
  // Commit, with its failures ignored (for a run that ends by another one).
  void CommitQuietly() noexcept;
  // Removes the file `file` (below its root without following a link, or
  // the path the handler chose); failures are ignored.
  void RemoveQuietly(const ExtractTarget& file) noexcept;

 private:
  struct Written {
    ExtractTarget part;
    ExtractTarget target;
  };
  static constexpr size_t kBatch = 4096;  // files that wait at most

  void SyncAll(const std::vector<Written>& files, const std::set<std::string>& folder_roots);
  void SyncOrDrop(const std::vector<Written>& files, const std::set<std::string>& folder_roots);
  std::string RenameAll(const std::vector<Written>& files);
  void Rename(const Written& file);
  std::set<std::string> PartsIn(const std::string& folder, uid_t owner);
  [[noreturn]] void CannotCreate(const std::string& path) const;

  platform::FileSystem& fs_;
  const TComponent* component_;
  bool durable_;
  std::vector<Written> waiting_;
  std::set<std::string> waiting_targets_;
  std::set<std::string> folder_roots_;
  std::map<std::string, std::set<std::string>> stale_;  // folder -> partial copies found
};

}  // namespace parcelon

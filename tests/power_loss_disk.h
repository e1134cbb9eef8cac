// What of the disk survives a power cut, for the faulty file system's
// power-loss mode.
//
// The model: file data reaches the disk only when the file is synced, and a
// folder's names (files and folders created, renamed or removed in it) only
// when the folder is synced; syncing the whole file system does both for
// everything. A cut drops everything else: each folder gets back the names
// it had at its last sync, and each of those names the content its file had
// at its last sync (a file created since then is empty). Whatever was on
// the disk when tracking started counts as durable.
//
// Tracking is lazy: a folder is first looked at (its names, and the content
// of its files, are copied into memory) just before the first change in it,
// or when a file in it is opened for writing. So the model only sees changes
// that are announced to it; the faulty file system announces those of every
// call it makes. Owners, permissions and times are not modelled: a file the
// cut brings back gets the mode of a new file. Meant for the small folders of
// tests: it holds copies of whole files in memory.
//
// A fuse: only folders inside a test's scratch folder (the
// `kmlcompat-test-XXXXXX` folders that ScratchDir makes) are tracked and
// restored. A change anywhere else (the system's temporary folder itself,
// where other programs and tests work at the same time) counts as durable at
// once, so a cut never removes or rewrites a file it did not see a test make.
#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <utility>

namespace testing_support {

class PowerLossDisk {
 public:
  // One file, folder or symbolic link: what of it is durable.
  struct Node {
    enum Kind { kFile, kFolder, kLink } kind = kFile;
    std::string durable;  // a file's content, a link's target
  };
  using NodePtr = std::shared_ptr<Node>;

  // Forgets what was tracked and takes the disk as it is now as durable.
  void Start();
  void Stop();
  bool Tracking() const { return tracking_; }

  // Call before a name in `folder` is created, renamed or removed.
  void BeforeFolderChange(const std::string& folder);
  // Call after `path` was created as a new, empty file (its folder having
  // been announced before); gives what the writes to it are tracked by.
  NodePtr Created(const std::string& path);
  // Call after an existing file was opened for writing at `path`.
  NodePtr Opened(const std::string& path);
  // Call after the folder `path` was created.
  void FolderCreated(const std::string& path);
  // Call after the file `node` (open as `fd`) was synced.
  void FileSynced(const NodePtr& node, int fd);
  // Call after the folder `path` was synced.
  void FolderSynced(const std::string& path);
  // Call after the whole file system was synced.
  void AllSynced();
  // Puts the disk back to its durable state. Tracking stops.
  void Cut();

 private:
  using Id = std::pair<dev_t, ino_t>;
  struct Folder {
    std::string path;
    NodePtr self;
    std::map<std::string, NodePtr> durable;  // name -> node
  };

  void Track(const std::string& path);
  // The node at `path` now (lstat), made from what is there when unknown.
  NodePtr NodeAt(const std::string& path);
  std::map<std::string, NodePtr> Listing(const std::string& folder);
  void Restore(const Folder& folder);
  void RestoreName(const std::string& path, const NodePtr& node);
  void Recreate(const std::string& path, const NodePtr& node);

  bool tracking_ = false;
  std::map<Id, Folder> folders_;
  std::map<Id, NodePtr> live_;  // what each file on the disk now is
};

}  // namespace testing_support

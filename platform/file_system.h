// The file system as the rest of the program sees it. Everything goes through
// the FileSystem interface so that tests can inject faults (a layer that fails
// or dies at the Nth call proves that a rewrite or a commit leaves its file
// either as it was or as it should become).
//
// Failures: every method throws platform::IoError (exception.h) or one of
// its kinds (EStreamError, EFOpenError, EFCreateError), so that one handler
// of IoError catches every failure of the file layer.
//
// Durability: data written to a file reaches stable storage only after the
// file is synced (Stream::Flush); a name created, renamed
// or removed in a folder only after the folder is synced (SyncFolder).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace platform {

// What Stat() reports about a path (symbolic links are followed).
struct FileInfo {
  bool exists = false;
  bool is_directory = false;
  bool is_regular = false;
  mode_t mode = 0;  // permission bits only
  uid_t uid = 0;
  gid_t gid = 0;
  off_t size = 0;
  int64_t modified = 0;  // last modification, seconds since 1970 (UTC)
  nlink_t links = 0;     // names the file has
  bool is_link = false;  // set by StatLink only: the path is a symbolic link
  dev_t device = 0;      // with `inode`, which file this is
  ino_t inode = 0;
};

// Which file a path names: its device and inode number. Two paths name the
// same file exactly when their identities are equal and `exists` is set.
struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// One name in a folder, as ListFolder reports it: `info` describes what a
// symbolic link points to; `is_link` says that the name is one.
struct FolderEntry {
  std::string name;
  FileInfo info;
  bool is_link = false;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Copies `from` to `to`, replacing `to` if it exists: the copy is synced
  // before it takes the name, and the folder after. Throws IoError; on
  // failure `to` is left as it was or removed, never half-written.
  virtual void CopyFile(const std::string& from, const std::string& to) = 0;
  // Atomically renames `from` to `to`, replacing `to`. Throws IoError.
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  // Atomically swaps the files at `a` and `b` (both must exist), so that
  // each name then holds what the other held. Where the file system cannot
  // swap, `a` is renamed over `b` and nothing is left at `a`; returns
  // whether the swap took place. Throws IoError.
  virtual bool Exchange(const std::string& a, const std::string& b) = 0;
  // Removes a file. Throws IoError.
  virtual void Remove(const std::string& path) = 0;
  // Sets the permission bits and, where allowed, the owner of `path`.
  // Throws IoError when the permission bits cannot be set.
  virtual void SetModeAndOwner(const std::string& path, const FileInfo& like) = 0;
  // Describes `path`; `exists` is false when there is nothing there.
  virtual FileInfo Stat(const std::string& path) = 0;
  // Resolves symbolic links; returns `path` unchanged when it is no link.
  // A link that leads to nothing gives the path it leads to.
  virtual std::string ResolveLinks(const std::string& path) = 0;
  // Creates `path` and missing parents; true when the folder exists afterwards.
  virtual bool CreateFolders(const std::string& path) = 0;

  // Opens `path` as a seekable stream with a file mode (fmCreate, or access
  // | sharing; see file_stream.h), taking the lock the mode asks for. Throws
  // EFOpenError or EFCreateError with the system's reason.
  virtual std::unique_ptr<Stream> OpenStream(const std::string& path, uint16_t mode) = 0;
  // Creates a new, uniquely named file in `folder` whose name starts with
  // `prefix`, open for reading and writing and locked exclusively; never
  // overwrites an existing file. Stores its path in *path. Throws
  // EFCreateError.
  virtual std::unique_ptr<Stream> CreateUniqueStream(const std::string& folder,
                                                     const std::string& prefix,
                                                     std::string* path) = 0;
  // Forces the folder's names (files created, renamed or removed in it) to
  // stable storage. Throws IoError.
  virtual void SyncFolder(const std::string& path) = 0;
  // Removes an empty folder. Throws IoError.
  virtual void RemoveFolder(const std::string& path) = 0;
  // Describes `path` itself: a symbolic link is reported as one (is_link)
  // and not followed; `exists` is false when there is nothing there.
  virtual FileInfo StatLink(const std::string& path) = 0;
  // Creates the folders of `relative` ('/'-separated, without empty, "." or
  // ".." components) below the existing folder `root`, one at a time. A
  // component that exists must be a folder itself, not a symbolic link to
  // one, so nothing is created outside `root`. Throws IoError.
  virtual void MakeFoldersBelow(const std::string& root, const std::string& relative) = 0;
  // Creates the file `relative` below `root` anew, for reading and writing,
  // locked exclusively: its folders must exist below `root` and be no
  // links; whatever has the file's name there (a file or a symbolic link;
  // not a folder) is removed first, and the new file is created exclusively,
  // so it is never written through a link. Throws EFCreateError with the
  // system's reason.
  virtual std::unique_ptr<Stream> CreateFileBelow(const std::string& root,
                                                  const std::string& relative) = 0;
  // The process's current folder, absolute. Throws IoError.
  virtual std::string CurrentFolder() = 0;
  // The names in a folder ("." and ".." left out), in no particular order.
  // Throws IoError.
  virtual std::vector<FolderEntry> ListFolder(const std::string& path) = 0;
  // Sets the permission bits (07777) of `path`. Throws IoError.
  virtual void SetPermissions(const std::string& path, mode_t mode) = 0;
  // Sets the last modification (and access) time of `path`, in seconds since
  // 1970 (UTC). Throws IoError.
  virtual void SetModifiedTime(const std::string& path, int64_t seconds) = 0;
  // True when the system's permission check lets this process write to
  // `path`: change a file, or create and remove names in a folder. Never
  // throws; false when `path` does not exist.
  virtual bool Writable(const std::string& path) = 0;
  // The bytes an unprivileged writer may still store in the file system that
  // holds `folder`. Throws IoError.
  virtual uint64_t FreeSpace(const std::string& folder) = 0;
  // Describes the file open in `file` through its descriptor; `exists` is
  // false for a stream without one. Throws IoError.
  virtual FileInfo StatOpen(Stream& file) = 0;
  // Gives the file open in `file` the permission bits of `like` and, where
  // allowed, its owner, through its descriptor (a stream without one is
  // left alone). Throws IoError when the permission bits cannot be set.
  virtual void SetModeAndOwnerOf(Stream& file, const FileInfo& like) = 0;
  // Creates the file `path`, which must not exist (not even as a symbolic
  // link, which is never followed), open for reading and writing and
  // locked exclusively, with the permission bits and, where allowed, the
  // owner of `like`, set through its descriptor before anything is
  // written; when `like.exists` is false, with the bits of any new file
  // (0666 less the umask) and our own owner. Throws EFCreateError with the
  // system's reason.
  virtual std::unique_ptr<Stream> CreateExclusiveStream(const std::string& path,
                                                        const FileInfo& like) = 0;
  // Renames `from` to `to` unless something has the name `to`: true when
  // renamed, false (nothing changed) when `to` exists. Where the file
  // system cannot rename without replacing, links `to` and then removes
  // `from` (a `from` that cannot be removed then stays). Throws IoError.
  virtual bool RenameNoReplace(const std::string& from, const std::string& to) = 0;

  // Sets the permission bits (07777) of the file open as `file`, on its
  // descriptor, so a name swapped meanwhile cannot redirect it. Throws IoError.
  virtual void SetPermissionsOpen(Stream& file, mode_t mode) = 0;
  // Sets the last modification (and access) time of the file open as
  // `file`, on its descriptor. Throws IoError.
  virtual void SetModifiedTimeOpen(Stream& file, int64_t seconds) = 0;
  // Forces all written data and all names of the file system that holds
  // `path` to stable storage. Throws IoError.
  virtual void SyncFileSystem(const std::string& path) = 0;
  // Renames `from` to `to`, both relative to `root` and in the same folder
  // below it, replacing `to`. The folder is reached as CreateFileBelow
  // reaches it (no link followed) and the rename made relative to it.
  // Throws IoError.
  virtual void RenameBelow(const std::string& root, const std::string& from,
                           const std::string& to) = 0;
  // Removes the file (or symbolic link) `relative` below `root`, reached
  // without following a link. Throws IoError.
  virtual void RemoveBelow(const std::string& root, const std::string& relative) = 0;

  bool Exists(const std::string& path) { return Stat(path).exists; }
  // The identity of the file `path` names, symbolic links followed;
  // `exists` is false when there is nothing there.
  FileIdentity IdentityOf(const std::string& path) {
    const FileInfo info = Stat(path);
    return info.exists ? FileIdentity{true, info.device, info.inode} : FileIdentity{};
  }
};

// The folder part of a path, up to and including its last '/'; empty when
// the path names no folder.
std::string FolderOf(const std::string& path);
// The folder to sync after a name in `path`'s folder changed: FolderOf(path),
// or "." when the path names no folder.
std::string ContainingFolder(const std::string& path);

}  // namespace platform

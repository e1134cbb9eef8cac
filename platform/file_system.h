// The file system as the rest of the program sees it. Everything goes through
// the FileSystem interface so that tests can inject faults (a layer that fails
// the Nth write proves that a rewrite leaves its input intact).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

// A file open for sequential reading. Owned by the caller; closed on destruction.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Reads up to n bytes into buf. Returns the count read, 0 at the end of the
  // file. Throws IoError on failure.
  virtual size_t Read(char* buf, size_t n) = 0;
};

// A file open for sequential writing. Owned by the caller. Close() must be
// called to learn whether the data reached the file; the destructor closes
// silently.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Writes all n bytes or throws IoError.
  virtual void Write(const char* data, size_t n) = 0;
  // Forces written data to stable storage; throws IoError.
  virtual void Sync() = 0;
  // Closes the file; throws IoError when the close reports an error.
  virtual void Close() = 0;
};

// What Stat() reports about a path (symbolic links are followed).
struct FileInfo {
  bool exists = false;
  bool is_directory = false;
  bool is_regular = false;
  mode_t mode = 0;  // permission bits only
  uid_t uid = 0;
  gid_t gid = 0;
  off_t size = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens an existing file for reading. Throws IoError.
  virtual std::unique_ptr<ReadableFile> OpenForRead(const std::string& path) = 0;
  // Creates a new, uniquely named file in `folder` whose name starts with
  // `prefix`; never overwrites an existing file. Stores its path in *path.
  // Throws IoError.
  virtual std::unique_ptr<WritableFile> CreateUnique(const std::string& folder,
                                                     const std::string& prefix,
                                                     std::string* path) = 0;
  // Copies `from` to `to`, replacing `to` if it exists. Throws IoError; on
  // failure `to` is left as it was or removed, never half-written.
  virtual void CopyFile(const std::string& from, const std::string& to) = 0;
  // Atomically renames `from` to `to`, replacing `to`. Throws IoError.
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  // Removes a file. Throws IoError.
  virtual void Remove(const std::string& path) = 0;
  // Sets the permission bits and, where allowed, the owner of `path`.
  // Throws IoError when the permission bits cannot be set.
  virtual void SetModeAndOwner(const std::string& path, const FileInfo& like) = 0;
  // Describes `path`; `exists` is false when there is nothing there.
  virtual FileInfo Stat(const std::string& path) = 0;
  // Resolves symbolic links; returns `path` unchanged when it is no link.
  virtual std::string ResolveLinks(const std::string& path) = 0;
  // Creates `path` and missing parents; true when the folder exists afterwards.
  virtual bool CreateFolders(const std::string& path) = 0;
  bool Exists(const std::string& path) { return Stat(path).exists; }
};

// The folder part of a path, up to and including its last '/'; empty when
// the path names no folder.
std::string FolderOf(const std::string& path);

}  // namespace platform

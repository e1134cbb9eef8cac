// Creating folders and files below a root folder without ever following a
// symbolic link: each folder is opened relative to the one before it, and
// the file is created exclusively.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/exception.h"
#include "platform/file_stream.h"
#include "platform/posix_file_system.h"
#include "platform/unicode.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

std::vector<std::string> Components(const std::string& relative) {
  std::vector<std::string> parts;
  for (size_t start = 0; start < relative.size();) {
    const size_t end = std::min(relative.find('/', start), relative.size());
    if (end > start) parts.push_back(relative.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The folder `parts` below `root`, each part opened without following a
// link, and created first when `create`.
UniqueFd OpenBelow(const std::string& root, const std::vector<std::string>& parts, bool create) {
  UniqueFd folder(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() < 0) throw IoError::FromErrno("cannot open the folder", root, errno);
  std::string path = root;
  for (const std::string& part : parts) {
    path.append("/").append(part);
    if (create && ::mkdirat(folder.Get(), part.c_str(), 0777) != 0 && errno != EEXIST)
      throw IoError::FromErrno("cannot create the folder", path, errno);
    UniqueFd next(
        ::openat(folder.Get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.Get() < 0) throw IoError::FromErrno("cannot open the folder", path, errno);
    folder = std::move(next);
  }
  return folder;
}

[[noreturn]] void ThrowCreateError(const std::string& path, int errnum) {
  throw EFCreateError(
      u"Cannot create file \"" + Utf8ToUtf16(path) + u"\". " + Utf8ToUtf16(std::strerror(errnum)),
      errnum, path);
}

// The folder that holds `relative` below `root`, and the name in it.
std::pair<UniqueFd, std::string> ParentBelow(const std::string& root, const std::string& relative) {
  std::vector<std::string> parts = Components(relative);
  if (parts.empty())
    throw IoError::FromErrno("cannot reach", std::string(root).append("/").append(relative),
                             EINVAL);
  std::string name = parts.back();
  parts.pop_back();
  return {OpenBelow(root, parts, false), std::move(name)};
}

}  // namespace

void PosixFileSystem::RenameBelow(const std::string& root, const std::string& from,
                                  const std::string& to) {
  const auto [folder, from_name] = ParentBelow(root, from);
  const std::string to_name = Components(to).empty() ? std::string() : Components(to).back();
  const std::string path = std::string(root).append("/").append(to);
  if (FolderOf(from) != FolderOf(to) || to_name.empty())
    throw IoError::FromErrno("cannot rename " + from + " to", path, EXDEV);
  if (::renameat(folder.Get(), from_name.c_str(), folder.Get(), to_name.c_str()) != 0)
    throw IoError::FromErrno("cannot rename " + from + " to", path, errno);
}

void PosixFileSystem::RemoveBelow(const std::string& root, const std::string& relative) {
  const auto [folder, name] = ParentBelow(root, relative);
  if (::unlinkat(folder.Get(), name.c_str(), 0) != 0)
    throw IoError::FromErrno("cannot remove", std::string(root).append("/").append(relative),
                             errno);
}

void PosixFileSystem::MakeFoldersBelow(const std::string& root, const std::string& relative) {
  OpenBelow(root, Components(relative), true);
}

std::unique_ptr<Stream> PosixFileSystem::CreateFileBelow(const std::string& root,
                                                         const std::string& relative) {
  std::vector<std::string> parts = Components(relative);
  const std::string path = std::string(root).append("/").append(relative);
  if (parts.empty()) ThrowCreateError(path, EINVAL);
  const std::string name = parts.back();
  parts.pop_back();
  UniqueFd folder;
  try {
    folder = OpenBelow(root, parts, false);
  } catch (const IoError& failure) {
    ThrowCreateError(path, failure.Errno());
  }
  if (::unlinkat(folder.Get(), name.c_str(), 0) != 0 && errno != ENOENT)
    ThrowCreateError(path, errno);
  UniqueFd fd(::openat(folder.Get(), name.c_str(),
                       O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd.Valid()) ThrowCreateError(path, errno);
  return FileStream::Adopt(std::move(fd), Utf8ToUtf16(path));
}

}  // namespace platform

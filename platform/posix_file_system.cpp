#include "platform/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/exception.h"
#include "platform/file_stream.h"
#include "platform/sequential_file.h"
#include "platform/stat_info.h"
#include "platform/unicode.h"
#include "platform/unique_fd.h"

namespace platform {

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ContainingFolder(const std::string& path) {
  std::string folder = FolderOf(path);
  return folder.empty() ? std::string(".") : folder;
}

namespace {

std::string TempFolderOr(const std::string& folder) {
  if (!folder.empty()) return folder;
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? std::string(tmp) : std::string("/tmp");
}

// Creates a new file named `folder` + `prefix` + six unique characters;
// gives its descriptor and stores its path. Throws IoError.
UniqueFd MakeUniqueFile(const std::string& folder, const std::string& prefix, std::string* path) {
  std::string base = TempFolderOr(folder);
  if (base.back() != '/') base += '/';
  std::string name = base + prefix + ".XXXXXX";
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back('\0');
  UniqueFd fd(::mkostemp(buf.data(), O_CLOEXEC));
  if (!fd.Valid()) throw IoError::FromErrno("cannot create a file in", base, errno);
  *path = buf.data();
  return fd;
}

}  // namespace

void PosixFileSystem::CopyFile(const std::string& from, const std::string& to) {
  // Copy into a fresh file beside the target and rename it over the target, so
  // that a failed copy never leaves a half-written target behind.
  auto in = OpenToRead(*this, from);
  std::string temp;
  const std::string folder = FolderOf(to);
  auto out = CreateUniqueToWrite(*this, folder.empty() ? "./" : folder, ".copy", &temp);
  try {
    std::vector<char> buf(1 << 16);
    for (size_t n; (n = ReadSome(*in, from, buf.data(), buf.size())) > 0;)
      WriteAll(*out, temp, buf.data(), n);
    SetModeAndOwnerOf(*out, Stat(from));
    SyncFile(*out, temp);
    CloseFile(*out, temp);
    Rename(temp, to);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  SyncFolder(ContainingFolder(to));
}

void PosixFileSystem::Rename(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0)
    throw IoError::FromErrno("cannot rename " + from + " to", to, errno);
}

bool PosixFileSystem::Exchange(const std::string& a, const std::string& b) {
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS)
    throw IoError::FromErrno("cannot swap " + a + " and", b, errno);
  Rename(a, b);
  return false;
}

void PosixFileSystem::Remove(const std::string& path) {
  if (::unlink(path.c_str()) != 0) throw IoError::FromErrno("cannot remove", path, errno);
}

void PosixFileSystem::SetModeAndOwner(const std::string& path, const FileInfo& like) {
  // Keeping the owner needs privileges that an ordinary user lacks; that is no failure.
  if (::chown(path.c_str(), like.uid, like.gid) != 0 && errno != EPERM)
    throw IoError::FromErrno("cannot set the owner of", path, errno);
  if (::chmod(path.c_str(), like.mode) != 0)
    throw IoError::FromErrno("cannot set the permissions of", path, errno);
}

FileInfo InfoOf(const struct stat& st) {
  FileInfo info;
  info.exists = true;
  info.is_directory = S_ISDIR(st.st_mode);
  info.is_regular = S_ISREG(st.st_mode);
  info.mode = st.st_mode & 07777;
  info.uid = st.st_uid;
  info.gid = st.st_gid;
  info.size = st.st_size;
  info.modified = st.st_mtim.tv_sec;
  info.links = st.st_nlink;
  info.is_link = S_ISLNK(st.st_mode);
  info.device = st.st_dev;
  info.inode = st.st_ino;
  return info;
}

FileInfo PosixFileSystem::Stat(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? InfoOf(st) : FileInfo();
}

FileInfo PosixFileSystem::StatLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? InfoOf(st) : FileInfo();
}

namespace {

// Where a link that leads nowhere points: its target (relative to the
// link's folder), followed while that is a link, at most 40 times.
std::string DanglingTarget(std::filesystem::path path) {
  std::error_code ec;
  for (int hops = 0; hops < 40 && std::filesystem::is_symlink(path, ec); ++hops) {
    const std::filesystem::path next = std::filesystem::read_symlink(path, ec);
    if (ec) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path.lexically_normal().string();
}

}  // namespace

std::string PosixFileSystem::ResolveLinks(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_symlink(path, ec)) return path;
  auto target = std::filesystem::canonical(path, ec);
  return ec ? DanglingTarget(path) : target.string();
}

bool PosixFileSystem::CreateFolders(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

std::unique_ptr<Stream> PosixFileSystem::OpenStream(const std::string& path, uint16_t mode) {
  return std::make_unique<FileStream>(Utf8ToUtf16(path), mode);
}

std::unique_ptr<Stream> PosixFileSystem::CreateUniqueStream(const std::string& folder,
                                                            const std::string& prefix,
                                                            std::string* path) {
  UniqueFd fd;
  try {
    fd = MakeUniqueFile(folder, prefix, path);
  } catch (const IoError& failure) {
    const std::string named = TempFolderOr(folder) + "/" + prefix;
    throw EFCreateError(u"Cannot create file \"" + Utf8ToUtf16(named) + u"\". " +
                            Utf8ToUtf16(std::strerror(failure.Errno())),
                        failure.Errno(), named);
  }
  try {
    return FileStream::Adopt(std::move(fd), Utf8ToUtf16(*path));
  } catch (...) {
    ::unlink(path->c_str());
    throw;
  }
}

void PosixFileSystem::SyncFolder(const std::string& path) {
  UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.Valid()) throw IoError::FromErrno("cannot open the folder", path, errno);
  if (::fsync(folder.Get()) != 0) throw IoError::FromErrno("cannot sync the folder", path, errno);
}

void PosixFileSystem::RemoveFolder(const std::string& path) {
  if (::rmdir(path.c_str()) != 0) throw IoError::FromErrno("cannot remove the folder", path, errno);
}

// `name` in the open `folder` (whose path is `prefix`): one look at the name
// itself, relative to the folder, and a second one through the path only
// for a symbolic link, to describe what it points to.
FolderEntry PosixFileSystem::Describe(int folder, const std::string& prefix,
                                      const std::string& name) {
  struct stat st;
  if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return {name, {}, false};
  if (!S_ISLNK(st.st_mode)) return {name, InfoOf(st), false};
  return {name, Stat(prefix + name), true};
}

std::vector<FolderEntry> PosixFileSystem::ListFolder(const std::string& path) {
  std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(path.c_str()), ::closedir);
  if (!folder) throw IoError::FromErrno("cannot list the folder", path, errno);
  const std::string prefix = path.empty() || path.back() == '/' ? path : path + "/";
  std::vector<FolderEntry> entries;
  errno = 0;
  while (const dirent* entry = ::readdir(folder.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..")
      entries.push_back(Describe(::dirfd(folder.get()), prefix, name));
    errno = 0;
  }
  if (errno != 0) throw IoError::FromErrno("cannot list the folder", path, errno);
  return entries;
}

std::string PosixFileSystem::CurrentFolder() {
  std::error_code error;
  const auto folder = std::filesystem::current_path(error);
  if (error)
    throw IoError("cannot find the current folder: " + error.message(), error.value(), ".");
  return folder.string();
}

void PosixFileSystem::SetPermissions(const std::string& path, mode_t mode) {
  if (::chmod(path.c_str(), mode & 07777) != 0)
    throw IoError::FromErrno("cannot set the permissions of", path, errno);
}

void PosixFileSystem::SetModifiedTime(const std::string& path, int64_t seconds) {
  const struct timespec times[2] = {{static_cast<time_t>(seconds), 0},
                                    {static_cast<time_t>(seconds), 0}};
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
    throw IoError::FromErrno("cannot set the time of", path, errno);
}

bool PosixFileSystem::Writable(const std::string& path) {
  return ::access(path.c_str(), W_OK) == 0;
}

uint64_t PosixFileSystem::FreeSpace(const std::string& folder) {
  struct statvfs fs;
  if (::statvfs(folder.c_str(), &fs) != 0)
    throw IoError::FromErrno("cannot learn the free space of", folder, errno);
  return static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
}

}  // namespace platform

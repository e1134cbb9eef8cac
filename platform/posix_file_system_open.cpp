// Metadata set on an open file's descriptor, and the sync of a whole file
// system.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/exception.h"
#include "platform/posix_file_system.h"
#include "platform/unique_fd.h"

namespace platform {

void PosixFileSystem::SetPermissionsOpen(Stream& file, mode_t mode) {
  if (::fchmod(file.Descriptor(), mode & 07777) != 0)
    throw IoError::FromErrno("cannot set the permissions of", "an open file", errno);
}

void PosixFileSystem::SetModifiedTimeOpen(Stream& file, int64_t seconds) {
  const struct timespec times[2] = {{static_cast<time_t>(seconds), 0},
                                    {static_cast<time_t>(seconds), 0}};
  if (::futimens(file.Descriptor(), times) != 0)
    throw IoError::FromErrno("cannot set the time of", "an open file", errno);
}

void PosixFileSystem::SyncFileSystem(const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) throw IoError::FromErrno("cannot open", path, errno);
  if (::syncfs(fd.Get()) != 0)
    throw IoError::FromErrno("cannot sync the file system of", path, errno);
}

}  // namespace platform

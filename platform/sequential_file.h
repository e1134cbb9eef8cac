// A file read or written from start to end through a Stream of the
// FileSystem, with its failures worded as "<operation> PATH: <reason>"
// ("cannot open x.kml: No such file or directory", "cannot write ...:
// No space left on device"), the words that users see for text files and
// copies.
//
// Every function throws IoError with that wording, Errno() the system's
// reason (EIO when the failure gave none) and Path() the file concerned.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/exception.h"
#include "platform/file_system.h"
#include "platform/stream.h"

namespace platform {

// Opens the existing file `path` for reading from its start, taking no
// lock; a folder is refused ("cannot read PATH: Is a directory"). The
// caller owns the stream.
std::unique_ptr<Stream> OpenToRead(FileSystem& fs, const std::string& path);
// Creates a new, uniquely named file in `folder` (not empty) whose name
// starts with `prefix`, as FileSystem::CreateUniqueStream does, and stores
// its path in *path. The caller owns the stream.
std::unique_ptr<Stream> CreateUniqueToWrite(FileSystem& fs, const std::string& folder,
                                            const std::string& prefix, std::string* path);

// Reads up to n bytes of `file` (named `path`); 0 at its end.
size_t ReadSome(Stream& file, const std::string& path, char* buf, size_t n);
// Writes all n bytes; a short write is a full disk (ENOSPC).
void WriteAll(Stream& file, const std::string& path, const char* data, size_t n);
// Forces what was written to stable storage.
void SyncFile(Stream& file, const std::string& path);
// Closes the file, reporting what the close reports.
void CloseFile(Stream& file, const std::string& path);

// Throws "<operation> PATH: <reason>" for `cause`, keeping its errno (EIO
// when it has none).
[[noreturn]] void ThrowWorded(const std::string& operation, const std::string& path,
                              const IoError& cause);

}  // namespace platform

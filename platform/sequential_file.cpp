#include "platform/sequential_file.h"

#include <cerrno>

#include "platform/file_stream.h"

namespace platform {

void ThrowWorded(const std::string& operation, const std::string& path, const IoError& cause) {
  throw IoError::FromErrno(operation, path, cause.Errno() != 0 ? cause.Errno() : EIO);
}

std::unique_ptr<Stream> OpenToRead(FileSystem& fs, const std::string& path) {
  std::unique_ptr<Stream> file;
  try {
    file = fs.OpenStream(path, fmOpenRead | fmShareDenyNone);
  } catch (const IoError& failure) {
    ThrowWorded("cannot open", path, failure);
  }
  FileInfo info;
  try {
    info = fs.StatOpen(*file);
  } catch (const IoError& failure) {
    ThrowWorded("cannot examine", path, failure);
  }
  if (info.is_directory) throw IoError::FromErrno("cannot read", path, EISDIR);
  return file;
}

std::unique_ptr<Stream> CreateUniqueToWrite(FileSystem& fs, const std::string& folder,
                                            const std::string& prefix, std::string* path) {
  try {
    return fs.CreateUniqueStream(folder, prefix, path);
  } catch (const IoError& failure) {
    const bool ends = !folder.empty() && folder.back() == '/';
    ThrowWorded("cannot create a file in", ends ? folder : folder + "/", failure);
  }
}

size_t ReadSome(Stream& file, const std::string& path, char* buf, size_t n) {
  try {
    return file.Read(buf, n);
  } catch (const IoError& failure) {
    ThrowWorded("cannot read", path, failure);
  }
}

void WriteAll(Stream& file, const std::string& path, const char* data, size_t n) {
  size_t written = 0;
  try {
    written = file.Write(data, n);
  } catch (const IoError& failure) {
    ThrowWorded("cannot write", path, failure);
  }
  if (written != n) throw IoError::FromErrno("cannot write", path, ENOSPC);
}

void SyncFile(Stream& file, const std::string& path) {
  try {
    file.Flush();
  } catch (const IoError& failure) {
    ThrowWorded("cannot flush", path, failure);
  }
}

void CloseFile(Stream& file, const std::string& path) {
  try {
    file.Close();
  } catch (const IoError& failure) {
    ThrowWorded("cannot close", path, failure);
  }
}

}  // namespace platform

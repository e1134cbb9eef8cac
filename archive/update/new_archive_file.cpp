#include "archive/update/new_archive_file.h"

#include <cerrno>
#include <random>

#include "archive/update/rollback_journal.h"
#include "platform/exception.h"

namespace parcelon {
namespace {

// Six characters that make a hidden file's name unique.
std::string UniqueSuffix() {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  std::string suffix(6, 'x');
  for (char& c : suffix) c = kLetters[random() % (sizeof(kLetters) - 1)];
  return suffix;
}

}  // namespace

std::unique_ptr<platform::Stream> CreateHiddenArchive(platform::FileSystem& fs,
                                                      const std::string& final_path,
                                                      std::string& hidden_path) {
  RemoveUnfinishedNewFiles(fs, final_path);
  const std::string stem = platform::FolderOf(final_path) + NewFilePrefixFor(final_path) + ".";
  for (int attempt = 0;; ++attempt) {
    const std::string path = stem + UniqueSuffix();
    try {
      auto stream = fs.CreateExclusiveStream(path, platform::FileInfo());
      hidden_path = path;  // only a file we created is ever removed as ours
      return stream;
    } catch (const platform::EStreamError& failure) {
      if (failure.Errno() != EEXIST || attempt == 99) throw;
    }
  }
}

bool PublishHiddenArchive(platform::FileSystem& fs, platform::Stream& file,
                          const std::string& hidden_path, const std::string& final_path,
                          bool sync) {
  if (sync) file.Flush();
  return fs.RenameNoReplace(hidden_path, final_path);
}

void SyncPublishedFolder(platform::FileSystem& fs, const std::string& final_path, bool sync) {
  if (sync) fs.SyncFolder(platform::ContainingFolder(final_path));
}

void RemoveHiddenArchive(platform::FileSystem& fs, const std::string& hidden_path) noexcept {
  try {
    fs.Remove(hidden_path);
  } catch (...) {
    // Left for the next open or creation, which removes it.
  }
}

}  // namespace parcelon

// Feeds arbitrary bytes to the archive engine as an archive file: opens it
// for reading, walks every entry with the mask "*", looks up the first
// entry by its exact name (by scan and through the name index), and closes.
// Engine and file errors are expected answers to bad input; crashes, hangs,
// leaks and sanitizer reports are what the fuzzer looks for.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include "archive/common/types.h"
#include "archive/parcelon.h"
#include "platform/posix_file_system.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"

namespace {

// A temporary file holding the input, removed on destruction. A file that
// cannot be written ends the run (the error escapes).
class InputFile {
 public:
  InputFile(const uint8_t* data, size_t size) {
    auto file = platform::PosixFileSystem().CreateUnique("", "archive-fuzz", &path_);
    file->Write(reinterpret_cast<const char*>(data), size);
    file->Close();
  }
  ~InputFile() { std::remove(path_.c_str()); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Walks every match of `mask`; gives the full name of the first one.
std::u16string Walk(parcelon::TParcelon& archiver, const std::u16string& mask) {
  parcelon::TPLArchiveItem item;
  std::u16string first;
  for (bool ok = archiver.FindFirst(mask, item); ok; ok = archiver.FindNext(item))
    if (first.empty()) first = item.EntryPath + item.FileName;
  return first;
}

void Exercise(const std::string& path) {
  platform::ScriptedDialogs dialogs;  // any question the engine asks throws
  parcelon::TParcelon archiver(nullptr, {&dialogs, nullptr});
  archiver.SetFileName(platform::Utf8ToUtf16(path));
  archiver.OpenArchive(parcelon::fmOpenRead | parcelon::fmShareDenyWrite);
  std::u16string first = Walk(archiver, u"*");
  if (!first.empty() && first.find_first_of(u"*?") == std::u16string::npos) {
    Walk(archiver, first);
    archiver.Options().SetRecurse(false);
    Walk(archiver, first);
  }
  archiver.CloseArchive();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputFile input(data, size);
  try {
    Exercise(input.path());
  } catch (const std::exception&) {
    // Engine errors (EPLException) and file errors are expected for bad input.
  }
  return 0;
}

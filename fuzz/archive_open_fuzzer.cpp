// Feeds arbitrary bytes to the archive engine as an archive held in a
// caller's memory stream: opens it for reading, walks every entry with the
// mask "*", looks up the first entry by its exact name (by scan and through
// the name index), and closes.
// Engine and file errors are expected answers to bad input; crashes, hangs,
// leaks and sanitizer reports are what the fuzzer looks for.
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "archive/common/types.h"
#include "archive/parcelon.h"
#include "platform/memory_stream.h"
#include "platform/scripted_dialogs.h"

namespace {

// Walks every match of `mask`; gives the full name of the first one.
std::u16string Walk(parcelon::TParcelon& archiver, const std::u16string& mask) {
  parcelon::TPLArchiveItem item;
  std::u16string first;
  for (bool ok = archiver.FindFirst(mask, item); ok; ok = archiver.FindNext(item))
    if (first.empty()) first = item.EntryPath + item.FileName;
  return first;
}

void Exercise(platform::Stream& input) {
  platform::ScriptedDialogs dialogs;  // any question the engine asks throws
  parcelon::TParcelon archiver(nullptr, {&dialogs, nullptr});
  archiver.OpenArchive(input, parcelon::fmOpenRead);
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
  platform::MemoryStream input(std::vector<uint8_t>(data, data + size));
  try {
    Exercise(input);
  } catch (const std::exception&) {
    // Engine errors (EPLException) and file errors are expected for bad input.
  }
  return 0;
}

// Feeds arbitrary bytes to the archive engine as an archive held in a
// caller's memory stream and tests every entry: each is decoded (inflated
// by the fastest inflater, then once more by zlib's) and checked against
// its size and CRC-32, with its output thrown away. Entries that fail are
// expected answers to bad input; crashes, hangs, leaks, runaway memory and
// sanitizer reports are what the fuzzer looks for.
#include <cstdint>
#include <exception>
#include <vector>

#include "archive/errors/pl_exception.h"
#include "archive/parcelon.h"
#include "platform/memory_stream.h"
#include "platform/null_stream.h"
#include "platform/scripted_dialogs.h"

namespace {

void TestEveryEntry(parcelon::TParcelon& archiver) {
  archiver.OnProcessFileFailure = [](parcelon::TPLBaseArchiver&, const std::u16string&,
                                     parcelon::TPLProcessOperation, int32_t, int32_t,
                                     const std::u16string&,
                                     parcelon::TPLAction& action) { action = parcelon::fxaIgnore; };
  archiver.TestFiles(u"*");
  archiver.SetInflater(parcelon::InflaterKind::kZlib);
  const int32_t count = archiver.DirManager()->Dir().Count();
  for (int32_t index = 0; index < count; ++index) {
    platform::TNullStream nothing;
    try {
      archiver.ExtractItemToStream(index, nothing);
    } catch (const parcelon::EPLException&) {
      // A damaged entry is an expected answer.
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::MemoryStream input(std::vector<uint8_t>(data, data + size));
  platform::ScriptedDialogs dialogs;  // any question the engine asks throws
  parcelon::TParcelon archiver(nullptr, {&dialogs, nullptr});
  try {
    archiver.OpenArchive(input, parcelon::fmOpenRead);
    TestEveryEntry(archiver);
  } catch (const std::exception&) {
    // Engine errors and stream errors are expected for bad input.
  }
  archiver.CloseArchive();
  return 0;
}

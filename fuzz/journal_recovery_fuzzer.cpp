// Feeds arbitrary bytes to the crash recovery of an update as the rollback
// journal beside a valid archive, then opens the archive and walks its
// entries. The first byte chooses fix-ups that let the fuzzer reach the
// restore itself: bit 0 writes the archive's device and inode into the
// header, bit 1 the CRC-32 of the tail that the header announces; either
// way the header's own CRC-32 is then made to match.
// Engine and file errors are expected answers to a bad journal; crashes,
// hangs, leaks, sanitizer reports and a journal naming another file that
// changed the archive are what the fuzzer looks for.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "archive/format/crc32.h"
#include "archive/parcelon.h"
#include "archive/update/rollback_journal.h"
#include "platform/memory_stream.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"

namespace {

constexpr size_t kHeader = 56;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spill(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// A scratch folder of the process's own (in TMPDIR), made once.
const std::string& Folder() {
  static const std::string folder = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/journal-fuzz-XXXXXX";
    return std::string(::mkdtemp(name.data()) ? name : "/tmp") + "/";
  }();
  return folder;
}

// A valid archive of three entries, written once by the engine.
const std::string& ValidArchive() {
  static const std::string bytes = [] {
    const std::string path = Folder() + "seed.zip";
    platform::ScriptedDialogs dialogs;
    parcelon::TParcelon archiver(nullptr, {&dialogs, nullptr});
    archiver.SetFileName(platform::Utf8ToUtf16(path));
    archiver.OpenArchive(parcelon::fmCreate);
    for (const char16_t* name : {u"a.kml", u"b.png", u"c.txt"}) {
      platform::MemoryStream data(std::vector<uint8_t>(300, static_cast<uint8_t>(name[0])));
      archiver.AddStream(name, data);
    }
    archiver.CloseArchive();
    std::string made = Slurp(path);
    ::unlink(path.c_str());
    return made;
  }();
  return bytes;
}

void Store(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t Load(const std::vector<uint8_t>& bytes, size_t at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | bytes[at + i];
  return value;
}

// The journal of `data`, with the fix-ups its first byte asks for.
std::vector<uint8_t> Journal(const uint8_t* data, size_t size, const struct stat& archive) {
  std::vector<uint8_t> journal(data + 1, data + size);
  if (journal.size() < kHeader) return journal;
  if (data[0] & 1) {
    Store(journal, 36, archive.st_dev, 8);
    Store(journal, 44, archive.st_ino, 8);
  }
  const uint64_t length = Load(journal, 16);
  if ((data[0] & 2) && length <= journal.size() - kHeader)
    Store(journal, 24, parcelon::UpdateCrc32(0, std::span(journal).subspan(kHeader, length)), 4);
  if (data[0] & 3) Store(journal, 52, parcelon::UpdateCrc32(0, std::span(journal).first(52)), 4);
  return journal;
}

void Exercise(const std::string& archive) {
  platform::ScriptedDialogs dialogs;
  parcelon::TParcelon archiver(nullptr, {&dialogs, nullptr});
  archiver.SetFileName(platform::Utf8ToUtf16(archive));
  archiver.OpenArchive(parcelon::fmOpenRead | parcelon::fmShareDenyWrite);
  parcelon::TPLArchiveItem item;
  for (bool ok = archiver.FindFirst(u"*", item); ok; ok = archiver.FindNext(item)) {
  }
  archiver.CloseArchive();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string& valid = ValidArchive();
  const std::string archive = Folder() + "a.zip";
  const std::string journal_path = parcelon::JournalPathFor(archive);
  Spill(archive, valid.data(), valid.size());
  struct stat st {};
  ::stat(archive.c_str(), &st);
  const std::vector<uint8_t> journal = Journal(data, size, st);
  Spill(journal_path, journal.data(), journal.size());
  try {
    Exercise(archive);
  } catch (const std::exception&) {
    // A journal that is refused, or an archive it damaged past reading.
  }
  // A journal for another file must never have been applied.
  const bool names_it = journal.size() >= kHeader && Load(journal, 36) == uint64_t(st.st_dev) &&
                        Load(journal, 44) == uint64_t(st.st_ino);
  if (!names_it && Slurp(archive) != valid) std::abort();
  ::unlink(journal_path.c_str());
  return 0;
}

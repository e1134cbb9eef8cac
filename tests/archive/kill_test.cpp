// `parcelon add` killed with SIGKILL at moments spread over a large commit,
// both when it rewrites the archive in place and when it writes a new file:
// once the archive is opened again (which undoes an unfinished commit), it
// is exactly the old archive or a sound new one, and nothing is left beside
// it.
#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

using testing_support::CommandResult;
using testing_support::ReadAll;
using testing_support::RunCommand;
using testing_support::ScratchDir;
using testing_support::ShellQuote;

const std::string kParcelon = PARCELON_PROGRAM;
const std::string kPython = PARCELON_PYTHON;

// Writes `count` files of `size` random bytes named PREFIX00.bin, ... into `folder`.
void RandomFiles(const std::string& folder, const std::string& prefix, int count, int size) {
  const CommandResult made = RunCommand(
      ShellQuote(kPython) +
      " -c 'import os,sys\n"
      "os.makedirs(sys.argv[1], exist_ok=True)\n"
      "for i in range(int(sys.argv[3])): open(\"%s/%s%02d.bin\" % (sys.argv[1], sys.argv[2], i), "
      "\"wb\").write(os.urandom(int(sys.argv[4])))' " +
      ShellQuote(folder) + " " + prefix + " " + std::to_string(count) + " " + std::to_string(size));
  ASSERT_EQ(made.status, 0) << made.err;
}

// The CRC-32 of every entry, checked, as "name crc" lines; empty when the
// archive is not sound.
std::string Contents(const std::string& archive) {
  const CommandResult read =
      RunCommand(ShellQuote(kPython) +
                 " -c 'import sys,zipfile\n"
                 "z=zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None\n"
                 "print(sorted((i.filename, i.CRC) for i in z.infolist()))' " +
                 ShellQuote(archive));
  return read.status == 0 ? read.out : "";
}

TEST(KilledAdd, LeavesTheOldOrTheNewArchive) {
  ScratchDir dir;
  const std::string archive = dir.File("a.zip");
  RandomFiles(dir.File("old"), "f", 40, 512 * 1024);
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && " + ShellQuote(kParcelon) +
                       " add --quiet a.zip old")
                .status,
            0);
  const std::string before = ReadAll(archive);
  RandomFiles(dir.File("new"), "g", 1, 16 << 20);
  // The first entry changes (a new file is written) or the last (in place).
  for (const std::string changed : {"f00", "f39"}) {
    RandomFiles(dir.File("old"), changed, 1, 1024);  // old/f0000.bin or old/f3900.bin
    const std::string file = "old/" + changed + "00.bin";
    std::string expected;
    for (const int delay_ms : {5, 20, 60, 120, 250, 500, 1000, 5000}) {
      testing_support::WriteAll(archive, before);
      RunCommand("cd " + ShellQuote(dir.path()) + " && (" + ShellQuote(kParcelon) +
                 " add --quiet a.zip " + file + " new & pid=$!; sleep " +
                 std::to_string(delay_ms / 1000.0) + "; kill -9 $pid; wait $pid)");
      const CommandResult listed =
          RunCommand(ShellQuote(kParcelon) + " list " + ShellQuote(archive));
      ASSERT_EQ(listed.status, 0) << delay_ms << listed.err;
      EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.zip", "new", "old"})) << delay_ms;
      if (ReadAll(archive) == before) continue;
      const std::string now = Contents(archive);
      EXPECT_NE(now.find("new/g00.bin"), std::string::npos) << file << " " << delay_ms << now;
      if (expected.empty()) expected = now;
      EXPECT_EQ(now, expected) << file << " " << delay_ms;
    }
    EXPECT_FALSE(expected.empty()) << file << ": no run got to the end";
  }
}

}  // namespace

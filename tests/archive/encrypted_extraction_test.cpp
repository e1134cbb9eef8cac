// Encrypted entries through the archiver: archives that zip, 7z and bsdtar
// encrypt (traditionally, with AES of vendor versions 1 and 2, stored and
// deflated, small and over several chunks) extract and test with the
// password; the password loop asks before any data is read, tries again,
// skips without a trace; a wrong password that passes the header check and
// a changed AES ciphertext fail as damaged entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "archive/crypto/traditional_cipher.h"
#include "archive/format/records.h"
#include "archive/parcelon.h"
#include "platform/iconv_code_pages.h"
#include "platform/memory_stream.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/archive/extraction_fixture.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using namespace testing_support;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

// small.kml is some 60 KB of text; big.bin 1.5 MB, half text and half
// random, more than one input chunk either way.
constexpr const char* kSources =
    "seq 1 9000 | sed 's/.*/<coordinates>&,51.5<\\/coordinates>/' > small.kml && "
    "{ seq 1 100000; head -c 800000 /dev/urandom; } | head -c 1500000 > big.bin";

// A memory archive that remembers how far into it anything was read.
class WatchedStream : public platform::MemoryStream {
 public:
  using MemoryStream::MemoryStream;
  size_t Read(void* buffer, size_t n) override {
    const size_t got = MemoryStream::Read(buffer, n);
    reach = std::max<int64_t>(reach, Position());
    return got;
  }
  int64_t reach = 0;
};

class EncryptedExtractionTest : public ExtractionFixture {
 protected:
  EncryptedExtractionTest() : ExtractionFixture(false) {}
  void Run(TPLProcessOperation operation, const std::u16string& mask = u"*") {
    std::filesystem::remove_all(out);
    failures.clear();
    archiver.OpenArchive(fmOpenRead | fmShareDenyWrite);
    operation == poTest ? archiver.TestFiles(mask) : archiver.ExtractFiles(mask);
    archiver.CloseArchive();
  }
  // Where the data of the archive's first entry starts (its encryption
  // header).
  int64_t FirstDataOffset() {
    const std::string bytes = ReadAll(dir.File("a.zip"));
    const auto local = LocalFileHeader::Parse(std::span<const uint8_t, kLocalHeaderSize>(
        reinterpret_cast<const uint8_t*>(bytes.data()), kLocalHeaderSize));
    return int64_t{kLocalHeaderSize} + local.NameLength + local.ExtraLength;
  }
};

TEST_F(EncryptedExtractionTest, PeerEncryptedArchivesExtractAndTestWithThePassword) {
  if (RunCommand("command -v zip && command -v 7z && command -v bsdtar").status != 0)
    GTEST_SKIP() << "zip, 7z or bsdtar missing";
  Shell(kSources);
  const std::string bsd = "bsdtar --format zip --passphrase pw -cf a.zip --options ";
  const struct {
    const char* what;
    std::string command;  // makes a.zip of small.kml and big.bin
  } peers[] = {
      {"zip, deflated, descriptors", "zip -q -P pw a.zip small.kml big.bin"},
      {"zip, stored", "zip -q -0 -P pw a.zip small.kml big.bin"},
      {"7z ZipCrypto, deflated", "7z a -tzip -ppw -mem=ZipCrypto a.zip small.kml big.bin"},
      {"7z ZipCrypto, stored", "7z a -tzip -mx0 -ppw -mem=ZipCrypto a.zip small.kml big.bin"},
      {"7z AES-128, deflated", "7z a -tzip -ppw -mem=AES128 a.zip small.kml big.bin"},
      {"7z AES-256, deflated", "7z a -tzip -ppw -mem=AES256 a.zip small.kml big.bin"},
      {"7z AES-256, stored", "7z a -tzip -mx0 -ppw -mem=AES256 a.zip small.kml big.bin"},
      {"bsdtar AES-256 (vendor version 1), deflated",
       bsd + "zip:encryption=aes256 small.kml big.bin"},
      {"bsdtar AES-256, stored",
       bsd + "zip:encryption=aes256,zip:compression=store small.kml big.bin"},
      {"bsdtar traditional, deflated", bsd + "zip:encryption=zipcrypt small.kml big.bin"},
      {"bsdtar traditional, stored",
       bsd + "zip:encryption=zipcrypt,zip:compression=store small.kml big.bin"},
  };
  archiver.SetPassword("pw");
  for (const auto& peer : peers) {
    SCOPED_TRACE(peer.what);
    Shell("rm -f a.zip && " + peer.command + " > /dev/null");
    Run(poExtract);
    EXPECT_EQ(failures, "");
    for (const char* name : {"small.kml", "big.bin"})
      EXPECT_TRUE(ReadAll(out + "/" + name) == ReadAll(dir.File(name))) << name;
    Run(poTest);
    EXPECT_EQ(failures, "");
  }
  EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(EncryptedExtractionTest, AnEmptyPasswordIsAskedForBeforeAnyDataIsRead) {
  for (const char* method : {"ZipCrypto", "AES256"}) {
    SCOPED_TRACE(method);
    Shell("rm -f a.zip && printf '<kml/>' > doc.kml && 7z a -tzip -ppw -mem=" +
          std::string(method) + " a.zip doc.kml > /dev/null");
    const std::string bytes = ReadAll(dir.File("a.zip"));
    WatchedStream archive(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    int64_t reach_when_asked = -1;
    archiver.SetPassword("");
    archiver.OnPassword = [&](TPLBaseArchiver&, const std::u16string& name, std::string& password,
                              bool&) {
      EXPECT_EQ(name, u"doc.kml");
      reach_when_asked = archive.reach;
      password = "pw";
    };
    archiver.OpenArchive(archive, fmOpenRead);
    archive.reach = 0;  // forget the directory's reading
    platform::MemoryStream plain;
    archiver.ExtractItemToStream(0, plain);
    archiver.CloseArchive();
    EXPECT_EQ(reach_when_asked, int64_t{kLocalHeaderSize});  // the local header, nothing more
    EXPECT_EQ(std::string(plain.Bytes().begin(), plain.Bytes().end()), "<kml/>");
    EXPECT_EQ(archiver.Password(), "pw");
  }
}

TEST_F(EncryptedExtractionTest, TheDialogIsAskedAgainUntilThePasswordFitsAndItIsKept) {
  // One archive in 256 or so lets "wrong" pass the one check byte: made anew then.
  Shell(
      "printf one > a.kml && printf two > b.kml && until zip -q -P pw a.zip a.kml b.kml && "
      "[ $(unzip -P wrong -t a.zip 2>&1 | grep -c 'skipping: .* incorrect password') = 2 ]; do rm "
      "a.zip; done");
  dialogs.password_answers = {std::string("wrong"), std::string("pw")};
  Run(poExtract);
  EXPECT_EQ(failures, "");
  EXPECT_EQ(ReadAll(out + "/a.kml"), "one");
  EXPECT_EQ(ReadAll(out + "/b.kml"), "two");
  ASSERT_EQ(dialogs.calls().size(), 2u);  // b.kml takes the password a.kml was given
  EXPECT_EQ(dialogs.calls()[0].text, "Password for \"a.kml\"");
  EXPECT_EQ(archiver.Password(), "pw");
}

TEST_F(EncryptedExtractionTest, ASkippedEntryLeavesNoFileAndNoError) {
  Shell(
      "printf one > a.kml && zip -q -P pw a.zip a.kml && printf old > keep.kml && "
      "mkdir out && cp keep.kml out/a.kml && printf new > b.kml && zip -q a.zip b.kml");
  dialogs.password_answers = {std::nullopt};
  archiver.OpenArchive(fmOpenRead | fmShareDenyWrite);
  archiver.ExtractFiles(u"*");
  archiver.CloseArchive();
  EXPECT_EQ(failures, "");
  EXPECT_EQ(ReadAll(out + "/a.kml"), "old");  // kept as it was, no partial file beside it
  EXPECT_EQ(ReadAll(out + "/b.kml"), "new");
  EXPECT_EQ(RunCommand("ls -A " + ShellQuote(out)).out, "a.kml\nb.kml\n");
  dialogs.password_answers = {std::nullopt};
  Run(poExtract, u"a.kml");
  EXPECT_EQ(failures, "");
  EXPECT_FALSE(std::filesystem::exists(out + "/a.kml"));
}

// A wrong password whose decrypted header byte happens to match (about one
// in 256), and one changed byte of AES ciphertext: damaged entries.
TEST_F(EncryptedExtractionTest, AWrongPasswordPastTheCheckAndChangedCiphertextFailAsDamage) {
  Shell("seq 1 20000 > doc.kml && zip -q -P pw a.zip doc.kml");
  const std::string bytes = ReadAll(dir.File("a.zip"));
  const auto local = LocalFileHeader::Parse(std::span<const uint8_t, kLocalHeaderSize>(
      reinterpret_cast<const uint8_t*>(bytes.data()), kLocalHeaderSize));
  TraditionalHeader header;
  std::copy_n(bytes.begin() + FirstDataOffset(), header.size(), header.begin());
  const uint8_t check = CheckByteOf(local.Flags, local.Crc32, local.FileTime);
  std::string wrong;
  Keys keys;
  for (int i = 0; wrong.empty() && i < 5000; ++i)
    if (CheckPassword(header, "w" + std::to_string(i), check, keys))
      wrong = "w" + std::to_string(i);
  ASSERT_FALSE(wrong.empty());
  archiver.SetPassword(wrong);
  Run(poTest);
  EXPECT_EQ(failures, "doc.kml 8\n");
  EXPECT_TRUE(dialogs.calls().empty());

  Shell("rm a.zip && 7z a -tzip -ppw -mem=AES256 a.zip doc.kml > /dev/null");
  std::string changed = ReadAll(dir.File("a.zip"));
  changed[size_t(FirstDataOffset()) + 18 + 100] ^= 0x01;
  WriteAll(dir.File("a.zip"), changed);
  archiver.SetPassword("pw");
  Run(poTest);
  EXPECT_EQ(failures, "doc.kml 8\n");
  archiver.SetExtractCorruptedFiles(true);
  Run(poExtract);
  EXPECT_EQ(failures, "");
  EXPECT_TRUE(std::filesystem::exists(out + "/doc.kml"));
}

// Keys are derived ahead for the password in effect; an entry whose own
// password differs, whether an event gives it per entry or the password is
// changed between entries, derives its own and extracts.
TEST_F(EncryptedExtractionTest, EntriesOfOtherPasswordsThanTheOneInEffectExtract) {
  if (RunCommand("command -v 7z").status != 0) GTEST_SKIP() << "7z missing";
  std::string make;
  for (int i = 1; i <= 6; ++i)
    make += "printf 'entry " + std::to_string(i) + "' > e" + std::to_string(i) +
            ".kml && 7z a -tzip -mem=AES256 -pp" + std::to_string(i) + " a.zip e" +
            std::to_string(i) + ".kml > /dev/null && ";
  Shell(make + "true");  // e1 takes p1, e2 p2, and so on
  int asked = 0;
  archiver.OnPassword = [&](TPLBaseArchiver&, const std::u16string& name, std::string& password,
                            bool&) {
    ++asked;
    password = "p" + Utf16ToUtf8(name.substr(1, 1));  // a changed password stays in effect
  };
  archiver.SetPassword("p1");
  Run(poExtract);
  EXPECT_EQ(failures, "");
  EXPECT_EQ(asked, 5);  // e2 to e6, once each
  for (int i = 1; i <= 6; ++i)
    EXPECT_EQ(ReadAll(out + "/e" + std::to_string(i) + ".kml"), "entry " + std::to_string(i));

  Shell(
      "rm a.zip && 7z a -tzip -mem=AES256 -pone a.zip e1.kml e2.kml e3.kml > /dev/null && "
      "7z a -tzip -mem=AES256 -ptwo a.zip e4.kml e5.kml e6.kml > /dev/null");
  asked = 0;
  archiver.SetPassword("one");
  archiver.OnFileProgress = [&](TPLBaseArchiver& sender, const std::u16string& name, double,
                                TPLProcessOperation, TPLProgressPhase phase, bool&) {
    if (name == u"e3.kml" && phase == ppEnd) sender.SetPassword("two");
  };
  Run(poExtract);
  EXPECT_EQ(failures, "");
  EXPECT_EQ(asked, 0);
  for (int i = 1; i <= 6; ++i)
    EXPECT_EQ(ReadAll(out + "/e" + std::to_string(i) + ".kml"), "entry " + std::to_string(i));
}

// A run over AES entries that ends early, cancelled, aborted after a
// damaged entry, or left by a handler's exception, stops the key read ahead
// and ends without waiting for the entries it had planned.
TEST_F(EncryptedExtractionTest, ARunThatEndsEarlyStopsDerivingKeysAhead) {
  if (RunCommand("command -v 7z").status != 0) GTEST_SKIP() << "7z missing";
  Shell(
      "for i in 1 2 3 4 5 6 7 8 9; do seq 1 $i > e$i.kml; done && "
      "7z a -tzip -mem=AES256 -ppw a.zip e?.kml > /dev/null");
  std::string damaged = ReadAll(dir.File("a.zip"));
  const auto local = LocalFileHeader::Parse(std::span<const uint8_t, kLocalHeaderSize>(
      reinterpret_cast<const uint8_t*>(damaged.data()), kLocalHeaderSize));
  const size_t first_size = kLocalHeaderSize + local.NameLength + local.ExtraLength +
                            local.PackedSize;  // e1's local header and data
  damaged[first_size + kLocalHeaderSize + local.NameLength + local.ExtraLength + 18] ^= 1;  // e2's
  enum class End { kCancel, kAbort, kThrow };
  for (const End end : {End::kCancel, End::kAbort, End::kThrow}) {
    SCOPED_TRACE(static_cast<int>(end));
    if (end == End::kAbort) WriteAll(dir.File("a.zip"), damaged);
    archiver.SetPassword("pw");
    archiver.OnFileProgress = [end](TPLBaseArchiver&, const std::u16string& name, double,
                                    TPLProcessOperation, TPLProgressPhase phase, bool& cancel) {
      if (name != u"e2.kml" || phase != ppStart) return;
      if (end == End::kCancel) cancel = true;
      if (end == End::kThrow) throw std::runtime_error("stop");
    };
    archiver.OnProcessFileFailure = [](TPLBaseArchiver&, const std::u16string&, TPLProcessOperation,
                                       int32_t, int32_t, const std::u16string&,
                                       TPLAction& action) { action = fxaAbort; };
    std::filesystem::remove_all(out);
    archiver.OpenArchive(fmOpenRead | fmShareDenyWrite);
    if (end == End::kThrow)
      EXPECT_THROW(archiver.ExtractFiles(u"*"), std::runtime_error);
    else
      archiver.ExtractFiles(u"*");
    archiver.CloseArchive();
    EXPECT_EQ(ReadAll(out + "/e1.kml"), "1\n");
    EXPECT_EQ(RunCommand("ls -A " + ShellQuote(out)).out, "e1.kml\n");
  }
}

}  // namespace
}  // namespace parcelon

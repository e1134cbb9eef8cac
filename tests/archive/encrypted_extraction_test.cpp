// Encrypted entries through the archiver: archives that zip, 7z and bsdtar
// encrypt (traditionally, with AES of vendor versions 1 and 2, stored and
// deflated, small and over several chunks) extract and test with the
// password; the password loop asks before any data is read, tries again,
// skips without a trace; a wrong password that passes the header check and
// a changed AES ciphertext fail as damaged entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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
      "[ $(unzip -P wrong -t a.zip 2>&1 | grep -c 'incorrect password') = 2 ]; do rm a.zip; done");
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

}  // namespace
}  // namespace parcelon

// Encrypted entries written by other ZIP tools at test time (Info-ZIP zip's
// traditional encryption with a data descriptor; 7z's traditional and AES
// encryption) decrypt through the decrypt stage and inflate to the
// original bytes.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "archive/codec/inflate_stage.h"
#include "archive/crypto/aes_transform.h"
#include "archive/crypto/crypto_stages.h"
#include "archive/crypto/traditional_transform.h"
#include "archive/format/crc32.h"
#include "archive/format/records.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using testing_support::RunCommand;
using testing_support::ShellQuote;

struct Collect : DataStage {
  bool Put(std::span<const uint8_t> block, bool) override {
    bytes.append(block.begin(), block.end());
    return true;
  }
  std::string bytes;
};

// The first entry's place in the archive, as the central directory has it.
struct Located {
  uint64_t offset = 0;
  uint64_t packed = 0;
  uint32_t crc = 0;
};

Located Locate(const std::string& archive) {
  const std::string script =
      "import sys, zipfile\n"
      "i = zipfile.ZipFile(sys.argv[1]).infolist()[0]\n"
      "print(i.header_offset, i.compress_size, i.CRC)\n";
  const auto run = RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(archive));
  Located at;
  std::istringstream(run.out) >> at.offset >> at.packed >> at.crc;
  return at;
}

// The transform for the entry whose local header is `local` with extra
// area `extra`; the method its data decompresses with goes to `method`.
std::unique_ptr<TPLCryptoTransform> TransformFor(const LocalFileHeader& local,
                                                 std::span<const uint8_t> extra, uint32_t crc,
                                                 uint16_t& method) {
  method = local.Method;
  if (local.Method != kMethodAesEncrypted) {
    return TTraditionalCryptoTransform::ForDecryption(
        "pw", CheckByteOf(local.Flags, crc, local.FileTime));
  }
  for (const ExtraField& field : ParseExtraFields(extra)) {
    const auto aes = field.HeaderID == kAesFieldId ? ReadAesField(field.Data) : std::nullopt;
    if (!aes) continue;
    method = aes->Method;
    auto transform =
        std::make_unique<TAESCryptoTransform>(CryptoMode::kDecrypt, aes->KeyStrength, aes->Method);
    transform->SetPassword("pw");
    return transform;
  }
  return nullptr;
}

// Decrypts and inflates the first entry of `archive`.
std::string ReadEntry(const std::string& archive, uint16_t& flags) {
  const std::string file = testing_support::ReadAll(archive);
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  const Located at = Locate(archive);
  const auto local = LocalFileHeader::Parse(bytes.subspan(at.offset).first<kLocalHeaderSize>());
  const size_t extra_at = at.offset + kLocalHeaderSize + local.NameLength;
  uint16_t method = 0;
  const auto transform =
      TransformFor(local, bytes.subspan(extra_at, local.ExtraLength), at.crc, method);
  EXPECT_TRUE(transform);
  if (!transform) return {};
  flags = local.Flags;
  Collect plain;
  ZlibInflateStage inflater(plain);
  DecryptStage decrypt(*transform, method == 8 ? static_cast<DataStage&>(inflater) : plain);
  const auto data = bytes.subspan(extra_at + local.ExtraLength, at.packed);
  for (size_t done = 0; done < data.size(); done += 4099) {  // blocks that split the trailer
    const size_t n = std::min<size_t>(4099, data.size() - done);
    EXPECT_TRUE(decrypt.Put(data.subspan(done, n), done + n == data.size()));
  }
  return plain.bytes;
}

TEST(CryptoInterop, EntriesEncryptedByOtherToolsDecryptToTheOriginal) {
  if (RunCommand("command -v zip && command -v 7z && command -v python3").status != 0)
    GTEST_SKIP() << "zip, 7z or python3 missing";
  testing_support::ScratchDir dir;
  std::string text;
  for (int i = 0; text.size() < 300000; ++i)
    text += "<coordinates>" + std::to_string(i * 7919 % 100003) + ",51.5</coordinates>\n";
  testing_support::WriteAll(dir.File("doc.kml"), text);
  const struct {
    const char* name;
    const char* command;
    bool descriptor;
  } peers[] = {
      {"zip.zip", "zip -q -P pw zip.zip doc.kml", true},
      {"zipcrypto.zip", "7z a -tzip -ppw -mem=ZipCrypto zipcrypto.zip doc.kml", false},
      {"aes128.zip", "7z a -tzip -ppw -mem=AES128 aes128.zip doc.kml", false},
      {"aes192.zip", "7z a -tzip -ppw -mem=AES192 aes192.zip doc.kml", false},
      {"aes256.zip", "7z a -tzip -ppw -mem=AES256 aes256.zip doc.kml", false},
  };
  for (const auto& peer : peers) {
    const auto made = RunCommand("cd " + ShellQuote(dir.path()) + " && " + peer.command);
    ASSERT_EQ(made.status, 0) << peer.command << made.err;
    uint16_t flags = 0;
    const std::string back = ReadEntry(dir.File(peer.name), flags);
    EXPECT_EQ(back.size(), text.size()) << peer.name;
    EXPECT_TRUE(back == text) << peer.name;
    EXPECT_EQ((flags & kFlagDataDescriptor) != 0, peer.descriptor) << peer.name;
  }
}

}  // namespace
}  // namespace parcelon

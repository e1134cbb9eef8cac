// Entries the engine encrypts, read back by other tools: 7-Zip and bsdtar
// decrypt every kind, Info-ZIP unzip and Python's zipfile the traditional
// one; the headers carry method 99 and the AES field where they should, the
// sizes count the encryption header and trailer, and no two entries share a
// salt or a header.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

#include "archive/errors/error_codes.h"
#include "archive/parcelon.h"
#include "platform/memory_stream.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using namespace testing_support;

std::string Text(size_t size) {
  std::mt19937 random(static_cast<unsigned>(size));
  std::string text;
  while (text.size() < size) text += "<coordinates>" + std::to_string(random() % 99999) + ",1,2 ";
  text.resize(size);
  return text;
}

// What both headers of an entry say, as a small Python script reads them.
struct Seen {
  int encrypted = 0;
  int central_method = -1;
  int local_method = -1;
  std::string central_aes;  // the AES field's data in hex, or "-"
  std::string local_aes;
  std::string crc;       // hex
  int64_t overhead = 0;  // packed size less unpacked size
  int same_packed = 0;   // the local header's packed size equals the central one
  std::string head;      // the first 12 data bytes in hex
};

constexpr char kInspect[] = R"(import sys, struct, zipfile
def field(extra, tag):
    i = 0
    while i + 4 <= len(extra):
        t, n = struct.unpack_from('<HH', extra, i)
        if t == tag: return extra[i + 4:i + 4 + n]
        i += 4 + n
    return None
f = open(sys.argv[1], 'rb')
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    f.seek(i.header_offset); h = f.read(30)
    n, m = struct.unpack_from('<HH', h, 26); f.read(n); extra = f.read(m)
    packed = struct.unpack_from('<I', h, 18)[0]
    if packed == 0xFFFFFFFF: packed = struct.unpack_from('<Q', field(extra, 1), 8)[0]
    aes = [(field(e, 0x9901) or b'').hex() or '-' for e in (i.extra, extra)]
    print(i.filename, i.flag_bits & 1, i.compress_type, struct.unpack_from('<H', h, 8)[0],
          aes[0], aes[1], '%08x' % i.CRC, i.compress_size - i.file_size,
          int(packed == i.compress_size), f.read(12).hex() or '-')
)";

std::map<std::string, Seen> Inspect(const std::string& path) {
  const CommandResult run =
      RunCommand("python3 -c " + ShellQuote(kInspect) + " " + ShellQuote(path));
  EXPECT_EQ(run.status, 0) << run.err;
  std::map<std::string, Seen> seen;
  std::istringstream in(run.out);
  for (std::string name; in >> name;) {
    Seen& s = seen[name];
    in >> s.encrypted >> s.central_method >> s.local_method >> s.central_aes >> s.local_aes >>
        s.crc >> s.overhead >> s.same_packed >> s.head;
  }
  return seen;
}

struct Kind {
  TPLCryptoAlgorithm method;
  const char* name;
  int64_t overhead;  // header and trailer
  const char* aes;   // vendor version 2, "AE", the strength; the method follows
};

constexpr Kind kKinds[] = {
    {caPkzipClassic, "zipcrypto", 12, ""},
    {caAES_128, "aes128", 8 + 2 + 10, "0200414501"},
    {caAES_192, "aes192", 12 + 2 + 10, "0200414502"},
    {caAES_256, "aes256", 16 + 2 + 10, "0200414503"},
};

// An empty entry, a small one, one of several blocks (over 1 MiB), and a
// twin of the small one written in the same second.
const std::vector<std::pair<std::string, std::string>> kEntries = {
    {"empty", ""},
    {"small.kml", Text(3000)},
    {"big.kml", Text((size_t{1} << 20) + 300000)},
    {"twin.kml", Text(3000)},
};

std::string AllData() {
  std::string all;
  for (const auto& entry : kEntries) all += entry.second;
  return all;
}

class CryptoWriterTest : public testing::Test {
 protected:
  void Write(const Kind& kind, uint8_t level, TZip64Mode zip64) {
    archiver.SetCompressionMode(level);
    archiver.SetZip64Mode(zip64);
    archiver.SetPassword("pw");
    archiver.SetEncryptionMethod(kind.method);
    archiver.SetFileName(platform::Utf8ToUtf16(path));
    archiver.OpenArchive(fmCreate);
    archiver.BeginUpdate();
    std::vector<std::unique_ptr<platform::MemoryStream>> sources;
    for (const auto& [name, data] : kEntries) {
      sources.push_back(
          std::make_unique<platform::MemoryStream>(std::vector<uint8_t>(data.begin(), data.end())));
      archiver.AddStream(platform::Utf8ToUtf16(name), *sources.back());
    }
    archiver.EndUpdate();
    archiver.CloseArchive();
  }

  // 7z tests and extracts every entry, bsdtar decrypts them all in order;
  // for the traditional kind unzip tests them and zipfile reads them.
  void ExpectPeersRead(const Kind& kind) {
    const bool traditional = kind.method == caPkzipClassic;
    const std::string zip = ShellQuote(path);
    const std::string out = ShellQuote(dir.File("out"));
    std::vector<std::string> testers = {"7z t -ppw " + zip, "7z x -y -ppw -o" + out + " " + zip};
    if (traditional) testers.push_back("unzip -P pw -tqq " + zip);
    for (const std::string& command : testers) {
      const CommandResult run = RunCommand(command);
      EXPECT_EQ(run.status, 0) << command << "\n" << run.out << run.err;
    }
    for (const auto& [name, data] : kEntries) EXPECT_TRUE(ReadAll(dir.File("out/" + name)) == data);
    RunCommand("rm -rf " + out);
    std::vector<std::string> readers = {"bsdtar -xOf " + zip + " --passphrase pw"};
    if (traditional)
      readers.push_back(
          "python3 -c 'import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n"
          "for n in z.namelist(): sys.stdout.buffer.write(z.read(n, pwd=b\"pw\"))' " +
          zip);
    for (const std::string& command : readers) {
      const CommandResult run = RunCommand(command);
      EXPECT_EQ(run.status, 0) << command << "\n" << run.err;
      EXPECT_TRUE(run.out == AllData()) << command;
    }
  }

  ScratchDir dir;
  std::string path = dir.File("e.zip");
  platform::ScriptedDialogs dialogs;
  TParcelon archiver{nullptr, {&dialogs}};
};

TEST_F(CryptoWriterTest, EveryKindStoredAndDeflatedReadsBackEverywhere) {
  const struct {
    uint8_t level;
    TZip64Mode zip64;
  } layouts[] = {{0, zmAuto}, {1, zmAlways}};
  for (const Kind& kind : kKinds) {
    for (const auto& layout : layouts) {
      SCOPED_TRACE(std::string(kind.name) + " level " + std::to_string(layout.level));
      Write(kind, layout.level, layout.zip64);
      ExpectPeersRead(kind);
      const bool aes = kind.method != caPkzipClassic;
      std::map<std::string, Seen> seen = Inspect(path);
      ASSERT_EQ(seen.size(), kEntries.size());
      for (const auto& [name, data] : kEntries) {
        const Seen& entry = seen[name];
        const int method = data.empty() || layout.level == 0 ? 0 : 8;
        const std::string field = aes ? kind.aes + std::string(method == 8 ? "0800" : "0000") : "-";
        EXPECT_EQ(entry.encrypted, 1) << name;
        EXPECT_EQ(entry.central_method, aes ? 99 : method) << name;
        EXPECT_EQ(entry.local_method, entry.central_method) << name;
        EXPECT_EQ(entry.central_aes, field) << name;
        EXPECT_EQ(entry.local_aes, field) << name;
        if (aes) {
          EXPECT_EQ(entry.crc, "00000000") << name;
        }
        if (method == 0) {
          EXPECT_EQ(entry.overhead, kind.overhead) << name;
        }
        EXPECT_EQ(entry.same_packed, 1) << name;
      }
      EXPECT_NE(seen["small.kml"].head, seen["twin.kml"].head);
    }
  }
}

// A source that gives other bytes once it was read to its end: the data of
// a traditional entry would then not match the CRC-32 its header was made
// with.
class ChangingSource : public platform::MemoryStream {
 public:
  using MemoryStream::MemoryStream;
  size_t Read(void* buffer, size_t n) override {
    const bool from_start = Position() == 0;
    const size_t got = MemoryStream::Read(buffer, n);
    if (from_start && read_through_ && got > 0) static_cast<uint8_t*>(buffer)[0] ^= 1;
    read_through_ = read_through_ || Position() == Size();
    return got;
  }

 private:
  bool read_through_ = false;
};

TEST_F(CryptoWriterTest, ASourceThatChangesBetweenItsPassesFailsItsEntry) {
  std::vector<int32_t> codes;
  archiver.OnProcessFileFailure = [&](TPLBaseArchiver&, const std::u16string&, TPLProcessOperation,
                                      int32_t native, int32_t, const std::u16string&,
                                      TPLAction& action) {
    codes.push_back(native);
    action = fxaIgnore;
  };
  archiver.SetPassword("pw");
  archiver.SetEncryptionMethod(caPkzipClassic);
  archiver.SetFileName(platform::Utf8ToUtf16(path));
  archiver.OpenArchive(fmCreate);
  ChangingSource source(std::vector<uint8_t>(5000, 'x'));
  archiver.AddStream(u"moving.kml", source);
  archiver.CloseArchive();
  EXPECT_EQ(codes, std::vector<int32_t>{errc::kCompressedSizeMismatch});
  EXPECT_TRUE(Inspect(path).empty());
}

}  // namespace
}  // namespace parcelon

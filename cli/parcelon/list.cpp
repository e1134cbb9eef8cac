// parcelon list [--tsv] ARCHIVE [MASK...]
#include <cstdint>
#include <map>

#include "cli/parcelon/commands.h"
#include "cli/parcelon/listing.h"
#include "cli/parcelon/open_archive.h"
#include "platform/unicode.h"

namespace parcelon::cli {

// As --help prints it.
constexpr char kListUsage[] =
    "usage: parcelon list [--tsv] ARCHIVE [MASK...]\n"
    "Lists the entries of ARCHIVE that match any MASK (default *): sizes, saved\n"
    "space, modification time, CRC-32, attributes, '*' for encrypted, and name.\n"
    "  --tsv  one tab-separated line per entry, without header and totals:\n"
    "         name, size, packed size, CRC-32, time, attributes, encrypted (1/0)\n";

namespace {

struct ListRequest {
  bool tsv = false;
  std::string archive;
  std::vector<std::u16string> masks;
};

// Returns 0 to go on, 2 for bad usage, -1 after --help.
int ParseList(const Args& args, ListRequest& request, std::ostream& out, std::ostream& err) {
  bool options_done = false;
  for (const std::string& arg : args) {
    if (!options_done && arg == "--help") return out << kListUsage, -1;
    if (!options_done && arg == "--tsv") {
      request.tsv = true;
    } else if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      return err << "parcelon list: unknown option " << arg << '\n' << kListUsage, 2;
    } else if (request.archive.empty()) {
      request.archive = arg;
    } else {
      request.masks.push_back(platform::Utf8ToUtf16(arg));
    }
  }
  if (request.archive.empty()) return err << kListUsage, 2;
  if (request.masks.empty()) request.masks.push_back(u"*");
  return 0;
}

// Every entry that matches one of the masks, by directory index, once.
std::map<int32_t, TPLArchiveItem> FindAll(TParcelon& archiver,
                                          const std::vector<std::u16string>& masks) {
  std::map<int32_t, TPLArchiveItem> found;
  for (const std::u16string& mask : masks) {
    TPLArchiveItem item;
    for (bool ok = archiver.FindFirst(mask, item); ok; ok = archiver.FindNext(item))
      found.emplace(item.SearchRec.ItemIndex, item);
  }
  return found;
}

// The stored name of the entry the search record points at, in UTF-8.
std::string StoredName(TParcelon& archiver, const TPLArchiveItem& item) {
  return platform::Utf16ToUtf8(archiver.DirManager()->Dir().Items(item.SearchRec.ItemIndex).Name);
}

// Sums sizes, stopping at the largest value rather than wrapping.
int64_t AddSize(int64_t total, int64_t size) {
  if (size <= 0) return total;
  return size > INT64_MAX - total ? INT64_MAX : total + size;
}

void Print(TParcelon& archiver, const std::map<int32_t, TPLArchiveItem>& found, bool tsv,
           std::ostream& out) {
  int64_t uncompressed = 0, compressed = 0;
  if (!tsv) out << TableHeader();
  for (const auto& [index, item] : found) {
    const std::string name = StoredName(archiver, item);
    out << (tsv ? TsvLine(name, item) + "\n" : TableLine(name, item));
    uncompressed = AddSize(uncompressed, item.UncompressedSize);
    compressed = AddSize(compressed, item.CompressedSize);
  }
  if (!tsv) out << TotalsLine(static_cast<int64_t>(found.size()), uncompressed, compressed);
}

}  // namespace

int RunList(const Args& args, std::ostream& out, std::ostream& err) {
  ListRequest request;
  if (int status = ParseList(args, request, out, err); status != 0) return status < 0 ? 0 : status;
  auto archiver = OpenForReading(request.archive, err);
  if (!archiver) return 1;
  try {
    Print(*archiver, FindAll(*archiver, request.masks), request.tsv, out);
  } catch (const std::exception& failure) {
    ReportFailure(failure, err);
    return 1;
  }
  return 0;
}

}  // namespace parcelon::cli

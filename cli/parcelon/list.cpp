// parcelon list [--tsv] [--verbose] ARCHIVE [MASK...]
#include <cstdint>
#include <string>
#include <vector>

#include "archive/search/item_search.h"
#include "cli/parcelon/commands.h"
#include "cli/parcelon/listing.h"
#include "cli/parcelon/open_archive.h"
#include "platform/unicode.h"

namespace parcelon::cli {

// As --help prints it.
constexpr char kListUsage[] =
    "usage: parcelon list [--tsv] [--verbose] ARCHIVE [MASK...]\n"
    "Lists the entries of ARCHIVE that match any MASK (default *): sizes, saved\n"
    "space, modification time, CRC-32, attributes, encryption, and name. The\n"
    "Enc column is blank for a plain entry, Z for traditional ZIP encryption,\n"
    "A128, A192 or A256 for AES with a key of that many bits.\n"
    "  --tsv  one tab-separated line per entry, without header and totals:\n"
    "         name, size, packed size, CRC-32, time, attributes, encrypted (1/0),\n"
    "         encryption (none, zipcrypto, aes128, aes192, aes256)\n"
    "  --verbose  after a failure, the engine's own message with its code\n"
    "Sizes are shown as the archive states them. In names, TAB, LF, CR and the\n"
    "backslash are written \\t, \\n, \\r and \\\\, other control bytes (below 0x20,\n"
    "and 0x7F) \\xNN, so that every entry takes one line.\n"
    "When the central directory is damaged or missing and the directory is\n"
    "rebuilt from the local headers, a line on standard error says so and why.\n";

namespace {

// The buffered output is handed on in blocks of about this size.
constexpr size_t kBlockSize = size_t{1} << 16;

struct ListRequest {
  bool tsv = false;
  bool verbose = false;
  std::string archive;
  std::vector<std::u16string> masks;
};

// Returns 0 to go on, 2 for bad usage, -1 after --help.
int ParseList(const Args& args, ListRequest& request, std::ostream& out, std::ostream& err) {
  bool options_done = false;
  for (const std::string& arg : args) {
    if (!options_done && arg == "--help") return out << kListUsage, -1;
    if (!options_done && (arg == "--tsv" || arg == "--verbose")) {
      (arg == "--tsv" ? request.tsv : request.verbose) = true;
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

// Marks, by directory index, every entry that matches one of the masks.
std::vector<bool> Select(TParcelon& archiver, const std::vector<std::u16string>& masks) {
  std::vector<bool> selected(static_cast<size_t>(archiver.EntryCount()));
  TPLArchiveItem item;
  for (const std::u16string& mask : masks)
    for (bool ok = archiver.FindFirst(mask, item); ok; ok = archiver.FindNext(item))
      selected[static_cast<size_t>(item.SearchRec.ItemIndex)] = true;
  return selected;
}

// Writes `text` to `out` once it has grown to a block, or always with `last`.
void Flush(std::string& text, std::ostream& out, bool last) {
  if (text.size() < kBlockSize && !last) return;
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  text.clear();
}

// What the totals line counts; sums stop at the largest value.
struct Totals {
  uint64_t entries = 0, size = 0, packed = 0;
  void Add(const EntryView& entry) {
    ++entries;
    size = AddSaturated(size, entry.Size());
    packed = AddSaturated(packed, entry.PackedSize());
  }
};

// Writes the selected entries in directory order, with the table's header
// and totals unless `tsv`.
void Print(TParcelon& archiver, const std::vector<bool>& selected, bool tsv, std::ostream& out) {
  const auto append_line = tsv ? AppendTsvLine : AppendTableLine;
  std::string text;
  text.reserve(kBlockSize + 1024);
  Totals totals;
  if (!tsv) AppendTableHeader(text);
  for (size_t index = 0; index < selected.size(); ++index) {
    if (!selected[index]) continue;
    const EntryView entry = archiver.Entry(static_cast<int32_t>(index));
    append_line(text, entry);
    totals.Add(entry);
    Flush(text, out, false);
  }
  if (!tsv) AppendTotalsLine(text, totals.entries, totals.size, totals.packed);
  Flush(text, out, true);
}

// Says on `err` why the directory was rebuilt, when it was.
void NoteRebuild(TParcelon& archiver, std::ostream& err) {
  const std::string reason = archiver.Summary().rebuild_reason;
  if (!reason.empty()) err << "directory rebuilt from local headers: " << reason << '\n';
}

}  // namespace

int RunList(const Args& args, std::ostream& out, std::ostream& err) {
  ListRequest request;
  if (int status = ParseList(args, request, out, err); status != 0) return status < 0 ? 0 : status;
  auto archiver = OpenForReading(request.archive, err, request.verbose);
  if (!archiver) return 1;
  try {
    NoteRebuild(*archiver, err);
    Print(*archiver, Select(*archiver, request.masks), request.tsv, out);
  } catch (const std::exception& failure) {
    ReportFailure(failure, request.archive, err, request.verbose);
    return 1;
  }
  if (!out.flush()) return err << "parcelon: cannot write the listing\n", 1;
  return 0;
}

}  // namespace parcelon::cli

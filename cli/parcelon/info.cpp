// parcelon info [--verbose] ARCHIVE
#include "archive/format/name_codec.h"
#include "cli/parcelon/commands.h"
#include "cli/parcelon/open_archive.h"
#include "platform/unicode.h"

namespace parcelon::cli {

// As --help prints it.
constexpr char kInfoUsage[] =
    "usage: parcelon info [--verbose] ARCHIVE\n"
    "Prints what the end records of ARCHIVE say, one 'key: value' line each:\n"
    "entries loaded and counted, comment, stub size, Zip64, where the\n"
    "central directory and the end record lie, and whether the directory was\n"
    "rebuilt from the local headers, and why.\n"
    "  --verbose  after a failure, the engine's own message with its code\n";

namespace {

// The archive comment as text: UTF-8 when it is valid UTF-8, else ANSI.
std::string CommentText(TParcelon& archiver, const std::string& comment) {
  if (IsValidUtf8(comment)) return comment;
  return platform::Utf16ToUtf8(archiver.CodePages().AnsiToWide(comment));
}

void PrintInfo(TParcelon& archiver, std::ostream& out) {
  const ArchiveSummary summary = archiver.Summary();
  out << "entries: " << summary.entries << '\n'
      << "entries counted: " << summary.entries_counted << '\n'
      << "comment: " << CommentText(archiver, summary.comment) << '\n'
      << "comment length: " << summary.comment.size() << '\n'
      << "stub size: " << summary.stub_size << '\n'
      << "zip64: " << (summary.zip64 ? "yes" : "no") << '\n'
      << "central directory offset: " << summary.central_dir_offset << '\n'
      << "central directory size: " << summary.central_dir_size << '\n'
      << "end record offset: " << summary.end_record_offset << '\n'
      << "this disk: " << summary.this_disk << '\n'
      << "directory rebuilt: " << (summary.rebuild_reason.empty() ? "no" : summary.rebuild_reason)
      << '\n';
}

}  // namespace

int RunInfo(const Args& args, std::ostream& out, std::ostream& err) {
  std::string archive;
  bool verbose = false;
  for (const std::string& arg : args) {
    if (arg == "--help") return out << kInfoUsage, 0;
    if (arg == "--verbose") {
      verbose = true;
      continue;
    }
    if (!archive.empty() || (arg.size() > 1 && arg[0] == '-')) return err << kInfoUsage, 2;
    archive = arg;
  }
  if (archive.empty()) return err << kInfoUsage, 2;
  auto archiver = OpenForReading(archive, err, verbose);
  if (!archiver) return 1;
  PrintInfo(*archiver, out);
  return 0;
}

}  // namespace parcelon::cli

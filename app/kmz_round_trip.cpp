#include "app/kmz_round_trip.h"

#include <cstdint>
#include <vector>

#include "app/apple_double.h"
#include "app/entry_room.h"
#include "app/kml_entries.h"
#include "app/logging_dialogs.h"
#include "app/namespace_notice.h"
#include "app/scratch_folder.h"
#include "archive/common/entry_path.h"
#include "archive/errors/error_codes.h"
#include "archive/errors/failure_words.h"
#include "archive/parcelon.h"
#include "kml/rewriter.h"
#include "platform/exception.h"
#include "platform/file_stream.h"
#include "platform/unicode.h"

namespace kmlcompat {
namespace {

using parcelon::TParcelon;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

// The shares of the progress that examining the entries and rewriting those
// that need it take; the commit takes the rest.
constexpr double kExamineShare = 35;
constexpr double kRewriteShare = 15;

struct KmlEntry {
  int32_t index = 0;      // place in the archive's directory
  std::u16string name;    // the stored name, folders included
  std::string file_name;  // the name without its folders, for the log
  std::u16string folder;  // the entry's own scratch folder
  std::u16string path;    // where it is extracted, below `folder`
  std::string shown;      // "NAME in ARCHIVE", how messages call it
  bool old_namespace = false;
};

// The archive, open from construction to destruction. An update that a
// failure left open is cancelled before the archive is closed, so nothing
// half-done is committed.
class OpenedArchive {
 public:
  explicit OpenedArchive(TParcelon& archive) : archive_(archive) {
    archive_.OpenArchive(platform::fmOpenReadWrite | platform::fmShareDenyWrite);
  }
  ~OpenedArchive() {
    if (archive_.InUpdate()) archive_.CancelUpdate();
    archive_.CloseArchive();
  }
  OpenedArchive(const OpenedArchive&) = delete;
  OpenedArchive& operator=(const OpenedArchive&) = delete;

 private:
  TParcelon& archive_;
};

// A name that extraction writes below a folder as the very path it states,
// so that the file put back gets the same stored name.
bool StoresBackUnchanged(const std::u16string& name) {
  return !name.empty() && parcelon::paths::SafeRelativePath(name) == name;
}

// One run over one opened archive.
class RoundTripRun {
 public:
  RoundTripRun(TParcelon& archive, const std::string& shown_archive, const std::string& scratch,
               platform::FileSystem& fs, platform::Dialogs& dialogs, ProcessLog& log,
               ProgressSink& progress)
      : archive_(archive),
        shown_archive_(shown_archive),
        scratch_(scratch),
        fs_(fs),
        dialogs_(dialogs),
        log_(log),
        progress_(progress) {}

  KmzOutcome Run();
  // The answer to a failure of the engine with the entry `name`.
  parcelon::TPLAction OnEntryFailure(const std::u16string& name, int32_t native_error,
                                     const std::u16string& message);
  parcelon::TPLAction AskAbout(const std::u16string& name, int32_t native_error,
                               const std::u16string& message);
  // Passes the engine's overall progress of the current step on, and the
  // user's cancel back.
  void OnOverallProgress(double percent, parcelon::TPLProgressPhase phase, bool& cancel);

 private:
  bool Stopped() const { return aborted_ || cancelled_; }
  // Starts a step that covers `span` percent from `base`; false when the
  // user cancelled.
  bool BeginStep(double base, double span, std::string what);
  std::vector<KmlEntry> FindKmlEntries();
  // Examines every entry; returns those that need a repair.
  std::vector<KmlEntry> ExamineAll(std::vector<KmlEntry>& entries);
  void Examine(KmlEntry& entry, size_t ordinal, size_t count, std::vector<KmlEntry>& queued);
  // Extracts the entry; true when it is a KML document to analyse.
  bool TakeUp(KmlEntry& entry, size_t ordinal);
  // Counts the entry as a KML document and logs that it is taken up.
  bool Counted(const KmlEntry& entry);
  // Removes the extracted copy of an entry that is not written back.
  void Discard(const KmlEntry& entry);
  // One message for the whole archive about the entries with old namespaces.
  void AnnounceNamespaces(const std::vector<KmlEntry>& queued);
  std::vector<KmlEntry> RewriteAll(const std::vector<KmlEntry>& queued);
  bool Rewrite(const KmlEntry& entry, size_t ordinal, size_t count);
  bool Extract(KmlEntry& entry, size_t ordinal);
  std::u16string FolderFor(size_t ordinal);
  bool Failed(const KmlEntry& entry, const std::string& reason);
  void PutBack(const std::vector<KmlEntry>& repaired);

  TParcelon& archive_;
  const std::string& shown_archive_;
  const std::string& scratch_;
  platform::FileSystem& fs_;
  platform::Dialogs& dialogs_;
  ProcessLog& log_;
  ProgressSink& progress_;
  bool aborted_ = false;
  bool cancelled_ = false;
  bool committing_ = false;
  int unwritten_ = 0;  // repaired entries the commit skipped after a failure
  int kml_entries_ = 0;
  int unchanged_ = 0;  // KML entries that need no repair
  double step_base_ = 0;
  double step_span_ = 0;
  std::string step_;
};

// An abort or a cancel during the commit rolls it back, so the outcome is
// read only after PutBack. Entries that need no repair are never written.
KmzOutcome RoundTripRun::Run() {
  std::vector<KmlEntry> entries = FindKmlEntries();
  const std::vector<KmlEntry> queued = ExamineAll(entries);
  if (!Stopped()) AnnounceNamespaces(queued);
  const std::vector<KmlEntry> repaired = RewriteAll(queued);
  if (!Stopped()) PutBack(repaired);
  if (Stopped())
    log_.Problem(std::string("Processing was ")
                     .append(cancelled_ ? "cancelled" : "aborted")
                     .append("; the archive is left as it was"));
  const int written = Stopped() ? 0 : static_cast<int>(repaired.size()) - unwritten_;
  return {kml_entries_, written, cancelled_, Stopped() ? 0 : unchanged_, aborted_};
}

std::vector<KmlEntry> RoundTripRun::ExamineAll(std::vector<KmlEntry>& entries) {
  std::vector<KmlEntry> queued;
  for (size_t i = 0; i < entries.size() && !Stopped(); ++i)
    Examine(entries[i], i, entries.size(), queued);
  return queued;
}

void RoundTripRun::Examine(KmlEntry& entry, size_t ordinal, size_t count,
                           std::vector<KmlEntry>& queued) {
  const double share = kExamineShare / static_cast<double>(count);
  if (!BeginStep(share * static_cast<double>(ordinal), share, "Examining " + entry.file_name) ||
      !TakeUp(entry, ordinal))
    return;
  const kml::KmlAnalysis analysis = kml::AnalyseKmlFile(Utf16ToUtf8(entry.path), fs_, entry.shown);
  if (analysis.succeeded && analysis.changes.Any()) {
    entry.old_namespace = analysis.changes.namespace_declaration;
    return queued.push_back(entry);
  }
  Discard(entry);
  if (analysis.succeeded) ++unchanged_;
  if (!analysis.succeeded) Failed(entry, analysis.problem);
}

bool RoundTripRun::TakeUp(KmlEntry& entry, size_t ordinal) {
  if (!StoresBackUnchanged(entry.name))
    return Counted(entry) && Failed(entry, "its name cannot be stored back unchanged in " +
                                               shown_archive_ + "; the entry is left as it was");
  const parcelon::EntryView item = archive_.Entry(entry.index);
  if (const std::string refusal = EntryRefusal(fs_, scratch_, item); !refusal.empty())
    return Counted(entry) && Failed(entry, refusal);
  if (!Extract(entry, ordinal))
    return !Stopped() && Counted(entry) &&
           Failed(entry, "it could not be extracted from " + shown_archive_ +
                             "; the entry is left as it was");
  if (!IsAppleDouble(entry.name, Utf16ToUtf8(entry.path), fs_)) return Counted(entry);
  Discard(entry);  // macOS metadata beside a file: no KML, left alone
  return false;
}

bool RoundTripRun::Counted(const KmlEntry& entry) {
  ++kml_entries_;
  log_.Add(std::string("Processing Zipped file ").append(entry.file_name));
  return true;
}

void RoundTripRun::Discard(const KmlEntry& entry) {
  try {
    fs_.Remove(Utf16ToUtf8(entry.path));
  } catch (const platform::IoError&) {
    // The scratch folder goes with everything in it at the end.
  }
}

void RoundTripRun::AnnounceNamespaces(const std::vector<KmlEntry>& queued) {
  std::vector<std::string> names;
  for (const KmlEntry& entry : queued)
    if (entry.old_namespace) names.push_back(Utf16ToUtf8(entry.name));
  if (!names.empty()) dialogs_.ShowMessage(KmzNamespaceNotice(shown_archive_, names));
}

std::vector<KmlEntry> RoundTripRun::RewriteAll(const std::vector<KmlEntry>& queued) {
  std::vector<KmlEntry> repaired;
  for (size_t i = 0; i < queued.size() && !Stopped(); ++i)
    if (Rewrite(queued[i], i, queued.size())) repaired.push_back(queued[i]);
  return repaired;
}

// The rewrite's own namespace message goes to the log: the archive's message
// was shown already.
bool RoundTripRun::Rewrite(const KmlEntry& entry, size_t ordinal, size_t count) {
  const double share = kRewriteShare / static_cast<double>(count);
  if (!BeginStep(kExamineShare + share * static_cast<double>(ordinal), share,
                 "Repairing " + entry.file_name))
    return false;
  LoggingDialogs to_log(log_, dialogs_);
  const kml::RewriteOutcome outcome = kml::RewriteKmlFile(Utf16ToUtf8(entry.path), fs_, to_log,
                                                          entry.shown, kml::Durability::kScratch);
  return outcome.succeeded || Failed(entry, outcome.problem);
}

bool RoundTripRun::BeginStep(double base, double span, std::string what) {
  step_base_ = base;
  step_span_ = span;
  step_ = std::move(what);
  if (!cancelled_ && !progress_.Progress(base, step_)) cancelled_ = true;
  return !cancelled_;
}

void RoundTripRun::OnOverallProgress(double percent, parcelon::TPLProgressPhase phase,
                                     bool& cancel) {
  const bool go_on = progress_.Progress(step_base_ + step_span_ * percent / 100, step_);
  // The commit's last event comes once the new archive is in place.
  if (committing_ && phase == parcelon::ppEnd) return;
  if (!go_on) cancelled_ = true;
  if (cancelled_) cancel = true;
}

// The question put to the user about a failure with the entry `name`, in
// words naming the entry and the archive: Abort, Retry or Ignore, only Abort
// or Ignore for a name too long, and no question where nothing can go on.
parcelon::TPLAction RoundTripRun::AskAbout(const std::u16string& name, int32_t native_error,
                                           const std::u16string& message) {
  if (native_error == parcelon::errc::kVolumeNotOpened) return parcelon::fxaAbort;
  const std::string text = Utf16ToUtf8(name) + (committing_ ? ", written back into " : " in ") +
                           shown_archive_ + ": " +
                           parcelon::FailureWords(native_error, message, {});
  const platform::FailureAnswer answer = native_error == parcelon::errc::kNameTooLong
                                             ? dialogs_.AskAbortOrIgnore(text)
                                             : dialogs_.AskOnFailure(text);
  if (answer == platform::FailureAnswer::kRetry) return parcelon::fxaRetry;
  return answer == platform::FailureAnswer::kIgnore ? parcelon::fxaIgnore : parcelon::fxaAbort;
}

// An entry the commit skips (Ignore) keeps its old data: it was not repaired.
parcelon::TPLAction RoundTripRun::OnEntryFailure(const std::u16string& name, int32_t native_error,
                                                 const std::u16string& message) {
  const parcelon::TPLAction action = AskAbout(name, native_error, message);
  if (action == parcelon::fxaAbort) aborted_ = true;
  if (committing_ && action == parcelon::fxaIgnore) {
    ++unwritten_;
    log_.Problem(Utf16ToUtf8(name) + ": it could not be written back into " + shown_archive_ +
                 "; the entry is left as it was");
  }
  return action;
}

std::vector<KmlEntry> RoundTripRun::FindKmlEntries() {
  std::vector<KmlEntry> found;
  for (const KmlEntryRef& entry : kmlcompat::FindKmlEntries(archive_))
    found.push_back({entry.index,
                     archive_.Entry(entry.index).Name(),
                     Utf16ToUtf8(entry.file_name),
                     {},
                     {},
                     Utf16ToUtf8(archive_.Entry(entry.index).Name()) + " in " + shown_archive_});
  return found;
}

// Extracts the entry alone, by its place in the directory.
bool RoundTripRun::Extract(KmlEntry& entry, size_t ordinal) {
  entry.folder = FolderFor(ordinal);
  entry.path = entry.folder;
  entry.path.append(u"/").append(entry.name);
  archive_.ExtractEntry(entry.index, entry.folder);
  return !Stopped() && fs_.Stat(Utf16ToUtf8(entry.path)).is_regular;
}

// Every entry gets a folder of its own, so that no entry's file takes the
// place of another's (names equal in any letter case included), and the
// extraction into it finds an empty folder, however many entries came
// before.
std::u16string RoundTripRun::FolderFor(size_t ordinal) {
  std::string folder = scratch_;
  folder.append("/").append(std::to_string(ordinal + 1));
  return Utf8ToUtf16(folder);
}

bool RoundTripRun::Failed(const KmlEntry& entry, const std::string& reason) {
  std::string line = Utf16ToUtf8(entry.name);
  log_.Problem(line.append(": ").append(reason));
  return false;
}

// Queues every repaired file as the new data of its entry, the stored name
// taken relative to the entry's own folder, and commits them together.
void RoundTripRun::PutBack(const std::vector<KmlEntry>& repaired) {
  if (repaired.empty()) return;
  const double base = kExamineShare + kRewriteShare;
  if (!BeginStep(base, 100 - base, "Writing the archive")) return;
  committing_ = true;
  // The entries go back as they came out, unencrypted: no password typed
  // to read an entry is ever one that entries are written with.
  archive_.SetPassword("");
  archive_.BeginUpdate();
  for (const KmlEntry& entry : repaired) {
    archive_.SetBaseDir(entry.folder);
    // The repaired entry is the same document: it keeps its own mode.
    archive_.MarkItemForUpdate(entry.index, entry.path, true);
  }
  archive_.EndUpdate();
}

}  // namespace

KmzOutcome KmzRoundTrip::Run(const std::string& zip_path, const std::string& shown_name) {
  const std::string& shown = shown_name.empty() ? zip_path : shown_name;
  ScratchFolder scratch;
  TParcelon archive(nullptr, {&dialogs_, nullptr, &fs_});
  archive.SetFileName(Utf8ToUtf16(zip_path));
  // Working copies are always writable, whatever the entry's attributes say.
  archive.Options().SetSetAttributes(false);
  // Working copies live in a private folder that goes with the run: they
  // need not survive a crash, so extracting them syncs nothing. The commit
  // of the archive stays durable.
  archive.Options().SetDurableExtraction(false);
  // A directory rebuilt from the local headers of a damaged archive misses
  // what the damage hides (the rest of a cut entry, anything past it); the
  // commit would drop that for good. Such an archive fails to open instead
  // and stays as it is.
  archive.SetRepairDirectory(false);
  NoProgress no_progress;
  RoundTripRun run(archive, shown, scratch.Path(), fs_, dialogs_, log_,
                   progress_ ? *progress_ : no_progress);
  archive.OnProcessFileFailure = [&run](parcelon::TPLBaseArchiver&, const std::u16string& name,
                                        parcelon::TPLProcessOperation, int32_t native_error,
                                        int32_t, const std::u16string& message,
                                        parcelon::TPLAction& action) {
    action = run.OnEntryFailure(name, native_error, message);
  };
  archive.OnOverallProgress = [&run](parcelon::TPLBaseArchiver&, double percent,
                                     parcelon::TPLProcessOperation,
                                     parcelon::TPLProgressPhase phase, bool& cancel) {
    run.OnOverallProgress(percent, phase, cancel);
  };
  log_.Add(std::string("Openning Archive ").append(zip_path));
  OpenedArchive opened(archive);
  return run.Run();
}

}  // namespace kmlcompat

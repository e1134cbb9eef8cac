#include "app/kmz_round_trip.h"

#include <cstdint>
#include <vector>

#include "app/apple_double.h"
#include "app/entry_buffer.h"
#include "app/entry_room.h"
#include "app/kml_entries.h"
#include "app/message_record.h"
#include "app/namespace_notice.h"
#include "app/repaired_store.h"
#include "app/scratch_folder.h"
#include "archive/errors/error_codes.h"
#include "archive/errors/failure_words.h"
#include "archive/errors/pl_exception.h"
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
  std::string shown;      // "NAME in ARCHIVE", how messages call it
  bool old_namespace = false;
  // Once rewritten: the repaired data, or why the rewrite failed, and the
  // rewrite's own messages, held back until the archive's notice is out.
  platform::Stream* repaired = nullptr;
  std::string problem;
  std::vector<std::string> messages;
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

// One run over one opened archive.
class RoundTripRun {
 public:
  RoundTripRun(TParcelon& archive, const std::string& shown_archive, const std::string& scratch,
               platform::FileSystem& fs, platform::Dialogs& dialogs, ProcessLog& log,
               ProgressSink& progress, const EntryMemoryLimits& limits)
      : archive_(archive),
        shown_archive_(shown_archive),
        scratch_(scratch),
        fs_(fs),
        dialogs_(dialogs),
        log_(log),
        progress_(progress),
        decoded_(fs, scratch, limits.entry),
        store_(fs, scratch, limits.repaired) {}

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
  // Decodes the entry; its data when it is a KML document to analyse, else
  // null.
  platform::Stream* TakeUp(KmlEntry& entry);
  // Counts the entry as a KML document and logs that it is taken up.
  bool Counted(const KmlEntry& entry);
  // Rewrites the decoded entry into the store of repaired entries.
  void RewriteNow(KmlEntry& entry, platform::Stream& data);
  // One message for the whole archive about the entries with old namespaces.
  void AnnounceNamespaces(const std::vector<KmlEntry>& queued);
  std::vector<KmlEntry> RewriteAll(const std::vector<KmlEntry>& queued);
  // Reports the rewrite of an entry, in the order and with the progress of
  // a rewrite that runs after the notice.
  bool Rewrite(const KmlEntry& entry, size_t ordinal, size_t count);
  // Decodes the entry alone into decoded_; null when it could not be.
  platform::Stream* Decode(const KmlEntry& entry);
  // Reports the decode done; false when the user cancelled.
  bool ReportDecoded();
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
  EntryBuffer decoded_;
  RepairedStore store_;
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
  if (!BeginStep(share * static_cast<double>(ordinal), share, "Examining " + entry.file_name))
    return;
  platform::Stream* const data = TakeUp(entry);
  if (data == nullptr) return;
  const kml::KmlAnalysis analysis = kml::AnalyseKml(*data, entry.shown);
  if (analysis.succeeded && analysis.changes.Any()) {
    entry.old_namespace = analysis.changes.namespace_declaration;
    RewriteNow(entry, *data);
    return queued.push_back(std::move(entry));
  }
  if (analysis.succeeded) ++unchanged_;
  if (!analysis.succeeded) Failed(entry, analysis.problem);
}

// The stored name is never written to disk, and the engine keeps it as it
// is: an entry under any name can be repaired.
platform::Stream* RoundTripRun::TakeUp(KmlEntry& entry) {
  const parcelon::EntryView item = archive_.Entry(entry.index);
  if (const std::string refusal = EntryRefusal(fs_, scratch_, item); !refusal.empty()) {
    Counted(entry);
    Failed(entry, refusal);
    return nullptr;
  }
  platform::Stream* const data = Decode(entry);
  if (data == nullptr && !Stopped()) {
    Counted(entry);
    Failed(entry,
           "it could not be extracted from " + shown_archive_ + "; the entry is left as it was");
  }
  if (data == nullptr) return nullptr;
  if (IsAppleDouble(entry.name, *data)) return nullptr;  // macOS metadata: no KML, left alone
  data->Seek(0, platform::SeekOrigin::kBegin);
  Counted(entry);
  return data;
}

// The rewrite runs at once, from the data decoded for the analysis.
void RoundTripRun::RewriteNow(KmlEntry& entry, platform::Stream& data) {
  data.Seek(0, platform::SeekOrigin::kBegin);
  MessageRecord messages(dialogs_);
  const kml::RewriteOutcome outcome = kml::RewriteKml(data, store_.Begin(), messages, entry.shown);
  if (outcome.succeeded) entry.repaired = &store_.Keep();
  if (!outcome.succeeded) store_.Drop();
  entry.problem = outcome.problem;
  entry.messages = messages.Messages();
}

bool RoundTripRun::Counted(const KmlEntry& entry) {
  ++kml_entries_;
  log_.Add(std::string("Processing Zipped file ").append(entry.file_name));
  return true;
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
  for (const std::string& message : entry.messages) log_.Add(message);
  return entry.repaired != nullptr || Failed(entry, entry.problem);
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
  for (const KmlEntryRef& ref : kmlcompat::FindKmlEntries(archive_)) {
    KmlEntry& entry = found.emplace_back();
    entry.index = ref.index;
    entry.name = archive_.Entry(ref.index).Name();
    entry.file_name = Utf16ToUtf8(ref.file_name);
    entry.shown = Utf16ToUtf8(entry.name) + " in " + shown_archive_;
  }
  return found;
}

// A failure of the engine is put to the user as during any extraction:
// Retry decodes the entry again, Ignore and Abort give it up.
platform::Stream* RoundTripRun::Decode(const KmlEntry& entry) {
  for (;;) {
    try {
      platform::Stream& data = decoded_.Prepare(archive_.Entry(entry.index).Size());
      archive_.ExtractItemToStream(entry.index, data);
      data.Seek(0, platform::SeekOrigin::kBegin);
      return ReportDecoded() ? &data : nullptr;
    } catch (const parcelon::EPLException& failure) {
      if (OnEntryFailure(entry.name, failure.NativeError(), failure.Message()) !=
          parcelon::fxaRetry)
        return nullptr;
    } catch (const std::exception&) {
      return nullptr;  // the scratch file for a large entry failed
    }
  }
}

// The end of a decode is reported as the end of the entry's examination
// share, where the user may cancel as at any report.
bool RoundTripRun::ReportDecoded() {
  if (!cancelled_ && !progress_.Progress(step_base_ + step_span_, step_)) cancelled_ = true;
  return !cancelled_;
}

bool RoundTripRun::Failed(const KmlEntry& entry, const std::string& reason) {
  std::string line = Utf16ToUtf8(entry.name);
  log_.Problem(line.append(": ").append(reason));
  return false;
}

// Queues the data of every repaired entry as its new data, under its own
// stored name, and commits them together.
void RoundTripRun::PutBack(const std::vector<KmlEntry>& repaired) {
  if (repaired.empty()) return;
  const double base = kExamineShare + kRewriteShare;
  if (!BeginStep(base, 100 - base, "Writing the archive")) return;
  committing_ = true;
  // The entries go back as they came out, unencrypted: no password typed
  // to read an entry is ever one that entries are written with.
  archive_.SetPassword("");
  archive_.BeginUpdate();
  // The repaired entry is the same document: it keeps its own attributes.
  for (const KmlEntry& entry : repaired) archive_.MarkItemForUpdate(entry.index, *entry.repaired);
  archive_.EndUpdate();
}

}  // namespace

KmzOutcome KmzRoundTrip::Run(const std::string& zip_path, const std::string& shown_name) {
  const std::string& shown = shown_name.empty() ? zip_path : shown_name;
  ScratchFolder scratch;
  TParcelon archive(nullptr, {&dialogs_, nullptr, &fs_});
  archive.SetFileName(Utf8ToUtf16(zip_path));
  // A directory rebuilt from the local headers of a damaged archive misses
  // what the damage hides (the rest of a cut entry, anything past it); the
  // commit would drop that for good. Such an archive fails to open instead
  // and stays as it is.
  archive.SetRepairDirectory(false);
  NoProgress no_progress;
  RoundTripRun run(archive, shown, scratch.Path(), fs_, dialogs_, log_,
                   progress_ ? *progress_ : no_progress, limits_);
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

// The run of `parcelon add` and `parcelon move`: one update transaction that
// queues what each name or mask finds and commits it.
#include "cli/parcelon/adding.h"

#include <cstdint>
#include <exception>
#include <iostream>

#include "archive/parcelon.h"
#include "archive/update/disk_masks.h"
#include "archive/update/stored_name.h"
#include "cli/parcelon/failure_report.h"
#include "cli/parcelon/progress_bar.h"
#include "cli/parcelon/run_events.h"
#include "cli/parcelon/text_format.h"
#include "platform/unicode.h"

namespace parcelon::cli {
namespace {

class AddingRun {
 public:
  AddingRun(const AddingRequest& request, bool move, std::ostream& err)
      : request_(request),
        move_(move),
        err_(err),
        bar_(err, !request.quiet && ErrorIsTerminal(), ErrorTerminalWidth()) {}

  int Run();

 private:
  void Configure();
  void Listen();
  bool QueueAll();
  TPLStringList MasksFor(const std::string& file);
  int32_t QueuedCount();
  void Report(std::string_view name, std::string_view problem);
  void Abandon() noexcept;

  const AddingRequest& request_;
  bool move_;
  std::ostream& err_;
  ProgressBar bar_;
  TParcelon archiver_;
  bool failed_ = false;
  int64_t found_ = 0;
};

int AddingRun::Run() {
  Configure();
  Listen();
  try {
    archiver_.OpenArchive();
    archiver_.BeginUpdate();
    if (!QueueAll()) return Abandon(), 1;
    archiver_.EndUpdate();
    bar_.Finish();
    archiver_.CloseArchive();
  } catch (const std::exception& failure) {
    bar_.Finish();
    ReportFailure(failure, request_.archive, err_, request_.verbose);
    return Abandon(), 1;
  }
  return failed_ ? 1 : 0;
}

void AddingRun::Configure() {
  archiver_.SetName(u"parcelon");
  archiver_.SetFileName(platform::Utf8ToUtf16(request_.archive));
  archiver_.SetZip64Mode(zmAuto);
  archiver_.SetCompressionMode(static_cast<uint8_t>(request_.level));
  archiver_.SetThreads(request_.threads);
  archiver_.SetBaseDir(platform::Utf8ToUtf16(request_.base_dir));
  archiver_.Options().SetStorePath(request_.store_path);
  archiver_.Options().SetRecurse(request_.recurse);
  archiver_.Options().SetOverwriteMode(omAlways);
  archiver_.SetNoCompressionMasks(request_.stored);
  archiver_.SetPassword(request_.password);
  archiver_.SetEncryptionMethod(request_.encryption);
  archiver_.SetAllowUnprotectedUpdate(request_.unprotected_update);
}

// Counts what is found, names what fails (and goes on without it), and
// drives the progress bar.
void AddingRun::Listen() {
  archiver_.OnConfirmProcessFile = [this](TPLBaseArchiver&, const std::u16string&,
                                          TPLProcessOperation, bool&) { ++found_; };
  NoteFailures(archiver_, bar_, request_.verbose, [this] { failed_ = true; });
  ShowProgress(archiver_, bar_);
  archiver_.OnUnprotectedUpdate = [this](TPLBaseArchiver&) {
    bar_.Note(
        "parcelon: warning: the archive's folder refuses the update's rollback journal; "
        "going on without it (--unprotected-update): a crash during this update can lose "
        "entries");
  };
}

// Queues each name in the open transaction; false when nothing at all was
// queued (the transaction is then cancelled).
bool AddingRun::QueueAll() {
  const int32_t attributes = request_.recurse ? kAllEntries : kAllEntries & ~int32_t{faDirectory};
  for (const std::string& file : request_.files) {
    const int64_t before = found_;
    const TPLStringList masks = MasksFor(file);
    if (move_) {
      archiver_.MoveFiles(masks, attributes, request_.exclusions);
    } else {
      archiver_.AddFiles(masks, attributes, request_.exclusions);
    }
    if (found_ == before) Report(file, "nothing matches");
  }
  if (QueuedCount() > 0) return true;
  archiver_.CancelUpdate();
  if (!failed_) Report(request_.archive, "nothing to add");
  return false;
}

// A folder named without wildcards stands for itself and all it holds.
TPLStringList AddingRun::MasksFor(const std::string& file) {
  std::u16string mask = platform::Utf8ToUtf16(file);
  if (HasWildcards(mask)) return {mask};
  const std::u16string base =
      AbsolutePath(platform::Utf8ToUtf16(request_.base_dir),
                   platform::Utf8ToUtf16(archiver_.FileSystem().CurrentFolder()));
  const std::u16string folder = AbsolutePath(mask, base);
  if (!archiver_.FileSystem().Stat(platform::Utf16ToUtf8(folder)).is_directory) return {mask};
  while (mask.size() > 1 && mask.ends_with(u'/')) mask.pop_back();
  return {folder, mask == u"/" ? u"/*" : mask + u"/*"};
}

int32_t AddingRun::QueuedCount() {
  const int32_t count = archiver_.EntryCount();
  int32_t queued = 0;
  for (int32_t i = 0; i < count; ++i) queued += archiver_.Entry(i).Modified() ? 1 : 0;
  return queued;
}

void AddingRun::Report(std::string_view name, std::string_view problem) {
  bar_.Note(ProblemLine(name, problem));
  failed_ = true;
}

// Closes the archive as it was; a new one this run was writing never
// takes its name.
void AddingRun::Abandon() noexcept {
  archiver_.AbandonArchive();
}

}  // namespace

int RunAdding(const AddingRequest& request, bool move, std::ostream& err) {
  return AddingRun(request, move, err).Run();
}

}  // namespace parcelon::cli

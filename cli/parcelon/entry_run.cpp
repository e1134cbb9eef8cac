#include "cli/parcelon/entry_run.h"

#include <unistd.h>

#include <cstdint>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "archive/common/entry_path.h"
#include "archive/errors/pl_exception.h"
#include "cli/parcelon/failure_report.h"
#include "cli/parcelon/open_archive.h"
#include "cli/parcelon/progress_bar.h"
#include "cli/parcelon/run_events.h"
#include "cli/parcelon/text_format.h"
#include "platform/console_dialogs.h"
#include "platform/unicode.h"

namespace parcelon::cli {
namespace {

class EntryRun {
 public:
  EntryRun(const EntryRequest& request, EntryOperation operation, std::ostream& out,
           std::ostream& err)
      : request_(request),
        operation_(operation),
        out_(out),
        err_(err),
        bar_(err, !request.quiet && ErrorIsTerminal(), ErrorTerminalWidth()) {}

  int Run();

 private:
  void Listen();
  void AskPassword(const std::u16string& name, std::string& password, bool& skip);
  void SelectMatches();
  bool Nameless(const std::u16string& name);
  void Process();
  void Extract();
  void Delete();
  void Summarize();
  void Report(std::u16string_view name, std::string_view problem);

  const EntryRequest& request_;
  EntryOperation operation_;
  std::ostream& out_;
  std::ostream& err_;
  ProgressBar bar_;
  std::u16string asked_for_;  // the entry last asked a password for
  int asked_ = 0;             // and how often
  std::unique_ptr<TParcelon> archiver_;
  std::vector<int32_t> selected_;  // the entries to work on, in directory order
  int32_t marked_ = 0;
  int32_t failures_ = 0;  // entries that failed
  int32_t kept_ = 0;      // existing files an extraction left alone
  bool unmatched_ = false;
};

int EntryRun::Run() {
  const uint16_t mode = operation_ == EntryOperation::kDelete ? fmOpenReadWrite | fmShareDenyWrite
                                                              : fmOpenRead | fmShareDenyWrite;
  archiver_ = OpenArchiveWithMode(request_.archive, mode, err_, request_.verbose);
  if (!archiver_) return 1;
  Listen();
  try {
    SelectMatches();
    marked_ = static_cast<int32_t>(selected_.size());
    Process();
    bar_.Finish();
  } catch (const std::exception& failure) {
    bar_.Finish();
    ReportFailure(failure, request_.archive, err_, request_.verbose);
    archiver_->CancelUpdate();
    archiver_->CloseArchive();
    return 1;
  }
  archiver_->CloseArchive();
  Summarize();
  return failures_ > 0 || unmatched_ ? 1 : 0;
}

// Names what fails (the run goes on without it), counts the existing files
// that `--overwrite never` keeps, and drives the progress bar.
void EntryRun::Listen() {
  TParcelon& archiver = *archiver_;
  NoteFailures(archiver, bar_, request_.verbose, [this] { ++failures_; });
  archiver.OnConfirmOverwrite = [this](TPLBaseArchiver&, const std::u16string&, std::u16string&,
                                       bool& confirm) {
    confirm = false;
    ++kept_;
  };
  ShowProgress(archiver, bar_);  // a delete is rolled back before its commit point
  if (request_.password) archiver.SetPassword(*request_.password);
  archiver.OnPassword = [this](TPLBaseArchiver&, const std::u16string& name, std::string& password,
                               bool& skip) { AskPassword(name, password, skip); };
}

// An encrypted entry whose password is missing or does not fit: without
// --password a terminal on standard input is asked (without echo, on
// standard error); otherwise, or when nothing is typed, the entry fails.
// A password typed stays the archiver's for the later entries. One that
// does not fit is named so before the next question; after three the entry
// is given up.
void EntryRun::AskPassword(const std::u16string& name, std::string& password, bool& skip) {
  const bool given = request_.password.has_value();
  if (name != asked_for_) asked_for_ = name, asked_ = 0;
  if (!given && isatty(STDIN_FILENO) != 0 && asked_ < 3) {
    bar_.Finish();
    if (asked_++ > 0 || !password.empty()) err_ << "parcelon: wrong password\n";
    std::string caption = "Password for ";
    AppendEscapedName(caption, name);
    platform::ConsoleDialogs terminal(std::cin, err_, STDIN_FILENO);
    std::optional<std::string> typed = terminal.AskPassword(caption, "Password:");
    if (typed && !typed->empty()) return password = std::move(*typed), void();
  }
  skip = true;
  ++failures_;
  if (given) return Report(name, "wrong password");
  std::string line(kPrefix);
  line += "a password is needed for ";
  AppendEscapedName(line, name);
  bar_.Note(line + ": give --password");
}

// Selects every entry that one of the masks matches, naming the masks that
// match nothing.
void EntryRun::SelectMatches() {
  std::vector<bool> matched(static_cast<size_t>(archiver_->EntryCount()));
  const std::vector<std::u16string> every = {u"*"};
  TPLArchiveItem item;
  for (const std::u16string& mask : request_.masks.empty() ? every : request_.masks) {
    bool found = false;
    for (bool ok = archiver_->FindFirst(mask, item); ok; ok = archiver_->FindNext(item))
      found = matched[static_cast<size_t>(item.SearchRec.ItemIndex)] = true;
    if (!found && !request_.masks.empty()) Report(mask, "nothing matches"), unmatched_ = true;
  }
  for (int32_t i = 0; i < static_cast<int32_t>(matched.size()); ++i) {
    if (!matched[static_cast<size_t>(i)]) continue;
    if (operation_ == EntryOperation::kExtract && Nameless(archiver_->Entry(i).Name())) continue;
    selected_.push_back(i);
  }
}

// An entry whose name has nothing left once made safe ("", ".", "..", "/")
// has no place below DEST: it is named, left out and counted as failed.
bool EntryRun::Nameless(const std::u16string& name) {
  if (!paths::SafeRelativePath(name).empty()) return false;
  ++failures_;
  Report(name.empty() ? u"\"\"" : name,
         "skipped: its name is empty once '.', '..' and '/' parts are dropped");
  return true;
}

void EntryRun::Process() {
  switch (operation_) {
    case EntryOperation::kExtract:
      return Extract();
    case EntryOperation::kTest:
      return archiver_->ProcessEntries(poTest, selected_);
    case EntryOperation::kDelete:
      return Delete();
  }
}

// `--overwrite never` goes through the overwrite prompt, whose handler
// declines and counts; the other rules are the engine's own.
void EntryRun::Extract() {
  TParcelon& archiver = *archiver_;
  if (!archiver.FileSystem().CreateFolders(request_.dest))
    throw EPLException::CreateFmt(errc::kCannotCreateFolder, {platform::Utf8ToUtf16(request_.dest)},
                                  &archiver);
  archiver.SetBaseDir(platform::Utf8ToUtf16(request_.dest));
  archiver.Options().SetCreateDirs(request_.create_dirs);
  archiver.Options().SetOverwriteMode(request_.overwrite == omNever ? omPrompt
                                                                    : request_.overwrite);
  archiver.ProcessEntries(poExtract, selected_);
}

// One update removes every marked entry; nothing marked changes nothing.
void EntryRun::Delete() {
  TParcelon& archiver = *archiver_;
  if (marked_ == 0) return;
  archiver.SetAllowUnprotectedUpdate(request_.unprotected_update);
  archiver.OnUnprotectedUpdate = [this](TPLBaseArchiver&) {
    bar_.Note(
        "parcelon: warning: the archive's folder refuses the update's rollback journal; "
        "going on without it (--unprotected-update): a crash during this update can lose "
        "entries");
  };
  archiver.BeginUpdate();
  archiver.ProcessEntries(poDelete, selected_);
  archiver.EndUpdate();
}

void EntryRun::Summarize() {
  if (kept_ > 0)
    err_ << kPrefix << kept_ << (kept_ == 1 ? " existing file" : " existing files")
         << " kept (--overwrite always replaces them)\n";
  if (request_.quiet) return;
  const int32_t done = marked_ - failures_;
  if (operation_ == EntryOperation::kTest) {
    out_ << "tested " << marked_ << (marked_ == 1 ? " entry: " : " entries: ");
    if (failures_ == 0)
      out_ << "no errors\n";
    else
      out_ << failures_ << " failed\n";
  } else if (operation_ == EntryOperation::kDelete) {
    out_ << "deleted " << done << (done == 1 ? " entry\n" : " entries\n");
  }
}

void EntryRun::Report(std::u16string_view name, std::string_view problem) {
  bar_.Note(ProblemLine(platform::Utf16ToUtf8(name), problem));
}

}  // namespace

int RunEntries(const EntryRequest& request, EntryOperation operation, std::ostream& out,
               std::ostream& err) {
  return EntryRun(request, operation, out, err).Run();
}

}  // namespace parcelon::cli

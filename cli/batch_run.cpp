#include "cli/batch_run.h"

#include <vector>

#include "app/kmz_analysis.h"
#include "app/repair_refusal.h"
#include "archive/errors/failure_words.h"

namespace kmlcompat {

// Passes every line on and keeps the problems of one file.
class BatchRun::RecordingLog : public ProcessLog {
 public:
  explicit RecordingLog(ProcessLog& out) : out_(out) {}
  void Clear() override {}
  void Add(const std::string& line) override { out_.Add(line); }
  void Problem(const std::string& line) override {
    problems.push_back(line);
    out_.Problem(line);
  }
  void ProblemWithDetail(const std::string& line, const std::string& detail) override {
    problems.push_back(detail);
    out_.ProblemWithDetail(line, detail);
  }
  // Keeps the line without passing it on.
  void Keep(const std::string& line) { problems.push_back(line); }
  void NotProcessed(const std::string& line) override {
    problems.push_back(line);
    out_.NotProcessed(line);
  }
  // The problems joined by "; ".
  std::string Reason() const {
    std::string reason;
    for (const std::string& problem : problems)
      reason.append(reason.empty() ? "" : "; ") += problem;
    return reason;
  }
  std::vector<std::string> problems;

 private:
  ProcessLog& out_;
};

namespace {

std::string KindOf(const std::string& path) {
  const std::string ext = KmlTool::UpperExtension(path);
  return ext == ".KML" ? "kml" : ext == ".KMZ" ? "kmz" : "other";
}

// Why `path` cannot be taken up as a file without opening it (a folder, a
// pipe or a device, which could block the run); empty when it can, or when
// it does not exist, which the opening reports.
std::string NotARegularFile(platform::FileSystem& fs, const std::string& path) {
  try {
    const platform::FileInfo info = fs.Stat(path);
    if (info.exists && info.is_directory) return path + " is a folder, not a file";
    if (info.exists && !info.is_regular) return path + " is not a regular file";
    return {};
  } catch (const std::exception& e) {
    return e.what();
  }
}

void AddChanges(const kml::KmlChanges& more, kml::KmlChanges* changes) {
  changes->namespace_declaration |= more.namespace_declaration;
  changes->tuples |= more.tuples;
}

EntryReport EntryOf(const KmzEntryAnalysis& entry) {
  const kml::KmlAnalysis& analysis = entry.analysis;
  if (!analysis.succeeded)
    return {entry.name,
            {},
            FileStatus::kFailed,
            analysis.detail.empty() ? analysis.problem : analysis.detail};
  const FileStatus status = analysis.changes.Any() ? FileStatus::kNeedsRepair : FileStatus::kFine;
  return {entry.name, analysis.changes, status, {}};
}

}  // namespace

FileReport BatchRun::Process(const std::string& path, const std::string& walk_problem) {
  FileReport report;
  report.path = path;
  report.kind = walk_problem.empty() ? KindOf(path) : "folder";
  RecordingLog log(log_);
  if (!walk_problem.empty()) {
    Fail(report, walk_problem, log);
  } else if (report.kind == "other") {
    Fail(report, "not a KML or KMZ file: " + path, log);
  } else if (const std::string problem = NotARegularFile(fs_, path); !problem.empty()) {
    Fail(report, problem, log);
  } else {
    report.kind == "kml" ? ProcessKml(report, log) : ProcessKmz(report, log);
  }
  // A check says of a file the repair would refuse that it cannot be repaired.
  if (options_.check_only && report.status == FileStatus::kFailed && walk_problem.empty())
    report.status = FileStatus::kCannotRepair;
  return report;
}

void BatchRun::ProcessKml(FileReport& report, RecordingLog& log) {
  const kml::KmlAnalysis analysis = kml::AnalyseKmlFile(report.path, fs_);
  if (!analysis.succeeded) return Fail(report, analysis.problem, log);
  report.changes = analysis.changes;
  Settle(report, log);
}

void BatchRun::ProcessKmz(FileReport& report, RecordingLog& log) {
  std::vector<KmzEntryAnalysis> analysed;
  try {
    analysed = AnalyseKmz(report.path, fs_, dialogs_);
  } catch (const std::exception& e) {
    return FailOpening(report, e, log);
  }
  if (analysed.empty()) return Fail(report, "no KML entry in " + report.path, log);
  std::string entry_problems, entry_words;
  for (const KmzEntryAnalysis& entry : analysed) {
    report.entries.push_back(EntryOf(entry));
    AddChanges(entry.analysis.changes, &report.changes);
    if (entry.analysis.succeeded) continue;
    const std::string_view gap = entry_problems.empty() ? "" : "; ";
    entry_problems.append(gap) += entry.name + ": " + report.entries.back().reason;
    entry_words.append(gap) += entry.analysis.problem;  // it names the entry and the file
  }
  // The workflow repairs what it can of an archive with a broken entry; a
  // check has nothing to add to the failure.
  if (!entry_problems.empty() && (options_.check_only || !report.changes.Any()))
    return Fail(report, entry_problems, log, entry_words);
  Settle(report, log);
  SettleEntries(report, log);
}

void BatchRun::Settle(FileReport& report, RecordingLog& log) {
  if (!report.changes.Any()) {
    report.status = FileStatus::kFine;
  } else if (options_.check_only) {
    const std::string refusal = RepairRefusal(report.path, fs_);
    if (!refusal.empty()) return Fail(report, refusal, log);
    report.status = FileStatus::kNeedsRepair;
  } else if (tool_.ProcessFile(report.path, options_.make_backup, log, &progress_)) {
    report.status = FileStatus::kRepaired;
  } else {
    report.status = FileStatus::kFailed;
    report.reason = log.Reason();
  }
}

// The workflow logs an entry's failure as "NAME: reason"; the reasons of
// the entries, and whether every problem was such an entry's own.
static std::vector<std::string> EntryReasons(const std::vector<EntryReport>& entries,
                                             const std::vector<std::string>& problems,
                                             bool* all_attributed) {
  std::vector<std::string> reasons(entries.size());
  size_t attributed = 0;
  for (const std::string& problem : problems) {
    for (size_t i = 0; i < entries.size(); ++i) {
      const std::string prefix = entries[i].name + ": ";
      if (!problem.starts_with(prefix)) continue;
      reasons[i] = problem.substr(prefix.size());
      ++attributed;
      break;
    }
  }
  *all_attributed = attributed == problems.size();
  return reasons;
}

// Entries are taken as repaired only when every problem was an entry's own;
// any other (the archive could not be committed or renamed back, the run was
// aborted) may have left every entry as it was.
void BatchRun::SettleEntries(FileReport& report, const RecordingLog& log) {
  if (report.status != FileStatus::kRepaired && report.status != FileStatus::kFailed) return;
  bool all_attributed = false;
  const std::vector<std::string> reasons =
      EntryReasons(report.entries, log.problems, &all_attributed);
  for (size_t i = 0; i < report.entries.size(); ++i) {
    EntryReport& entry = report.entries[i];
    if (entry.status != FileStatus::kNeedsRepair) continue;
    if (reasons[i].empty() && all_attributed) {
      entry.status = FileStatus::kRepaired;
      continue;
    }
    entry.status = FileStatus::kFailed;
    entry.reason = reasons[i].empty() ? report.reason : reasons[i];
  }
}

// The report keeps the engine's message (its code too, for programs that
// read --json); people are told in words, and with --verbose the message.
void BatchRun::FailOpening(FileReport& report, const std::exception& failure, RecordingLog& log) {
  const std::string words = parcelon::FailureWords(failure);
  Fail(report, failure.what(), log, report.path + ": " + words);
  report.words = words;  // the status line names the file itself
}

// With words the reason is shown in them, and with --verbose too as it is.
void BatchRun::Fail(FileReport& report, const std::string& reason, RecordingLog& log,
                    const std::string& words) {
  report.status = FileStatus::kFailed;
  report.reason = reason;
  report.words = words;
  Tell(report, words.empty() ? reason : words, log);
  if (options_.verbose && !words.empty()) log.Problem("engine: " + reason);
}

void BatchRun::Tell(const FileReport& report, const std::string& line, RecordingLog& log) {
  if (options_.check_only && !options_.json && report.kind != "folder")
    log.Keep(line);
  else
    log.Problem(line);
}

}  // namespace kmlcompat

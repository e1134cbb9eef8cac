#include "app/kml_tool.h"

#include "app/kmz_round_trip.h"
#include "app/repair_refusal.h"
#include "archive/errors/failure_words.h"
#include "kml/rewriter.h"
#include "platform/ascii.h"
#include "platform/exception.h"

namespace kmlcompat {

std::string KmlTool::UpperExtension(const std::string& path) {
  size_t dot = path.rfind('.');
  size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return platform::AsciiUpper(path.substr(dot));
}

void KmlTool::ModifyKMLFile(const std::string& FileName) {
  ProcessSucceeded = true;
  kml::RewriteOutcome outcome = kml::RewriteKmlFile(FileName, fs_, dialogs_);
  ProcessSucceeded = outcome.succeeded;
  last_problem_ = outcome.problem;
}

bool KmlTool::ProcessFile(const std::string& FileName, bool make_backup, ProcessLog& log,
                          ProgressSink* progress) {
  ProcessSucceeded = false;
  log.Clear();
  std::string ext = UpperExtension(FileName);
  if (ext != ".KML" && ext != ".KMZ") {
    log.NotProcessed("not a KML or KMZ file: " + FileName);
  } else if (last_problem_ = RepairRefusal(FileName, fs_); !last_problem_.empty()) {
    log.Problem(last_problem_);
  } else if (ext == ".KML") {
    ProcessKml(FileName, make_backup, log);
  } else {
    ProcessKmz(FileName, make_backup, log, progress);
  }
  return ProcessSucceeded;
}

bool KmlTool::MakeBackup(const std::string& FileName, ProcessLog& log) {
  std::string backup = FileName + ".Backup";
  try {
    fs_.CopyFile(FileName, backup);
    return true;
  } catch (const platform::IoError& e) {
    log.Problem("No backup made, file left unchanged: " + std::string(e.what()));
    return false;
  }
}

void KmlTool::ProcessKml(const std::string& FileName, bool make_backup, ProcessLog& log) {
  if (make_backup && !MakeBackup(FileName, log)) return;
  ModifyKMLFile(FileName);
  log.Add("Processing file " + FileName);
  if (!ProcessSucceeded) log.Problem(last_problem_);
}

void KmlTool::ProcessKmz(const std::string& FileName, bool make_backup, ProcessLog& log,
                         ProgressSink* progress) {
  if (make_backup && !MakeBackup(FileName, log)) return;
  KmzOutcome outcome;
  bool engine_failed = false;
  try {
    outcome = KmzRoundTrip(fs_, dialogs_, log, progress).Run(FileName);
  } catch (const std::exception& e) {
    engine_failed = true;
    // People are told in words; the engine's message stays for programs.
    const std::string words = FileName + ": " + parcelon::FailureWords(e);
    dialogs_.ShowMessage(words);
    log.ProblemWithDetail(words, FileName + ": " + e.what());
  }
  ProcessSucceeded = !engine_failed && outcome.Succeeded();
  // An archive left at a cancel or an abort may well hold KML entries.
  if (!engine_failed && !outcome.cancelled && !outcome.aborted && outcome.kml_entries == 0)
    log.NotProcessed("no KML entry in " + FileName);
}

}  // namespace kmlcompat

#include "app/kml_tool.h"

#include "app/kmz_round_trip.h"
#include "app/repair_refusal.h"
#include "kml/rewriter.h"
#include "platform/ascii.h"
#include "platform/io_error.h"

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
  } catch (const std::exception& e) {
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

std::string KmlTool::ZipNameOf(const std::string& kmz_path) {
  const size_t name_start = kmz_path.rfind('/') + 1;  // 0 when there is no folder
  std::string zip_name = kmz_path.substr(0, name_start);
  std::string file_name = platform::AsciiUpper(kmz_path.substr(name_start));
  if (file_name.ends_with(".KMZ")) file_name.replace(file_name.size() - 4, 4, ".ZIP");
  return zip_name.append(file_name);
}

bool KmlTool::RenameWithoutReplacing(const std::string& from, const std::string& to) {
  try {
    // The file system renames over an existing file; nothing else is open
    // here, so a look first keeps every other file as it is.
    if (fs_.StatLink(to).exists) return false;
    fs_.Rename(from, to);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void KmlTool::Report(const std::string& text, ProcessLog& log) {
  dialogs_.ShowMessage(text);
  log.Problem(text);
}

void KmlTool::ProcessKmz(const std::string& FileName, bool make_backup, ProcessLog& log,
                         ProgressSink* progress) {
  if (make_backup && !MakeBackup(FileName, log)) return;
  const std::string zip_name = ZipNameOf(FileName);
  if (!RenameWithoutReplacing(FileName, zip_name)) return Report(kRenameToZipFailed, log);
  KmzOutcome outcome;
  std::string engine_failure;
  try {
    outcome = KmzRoundTrip(fs_, dialogs_, log, progress).Run(zip_name, FileName);
  } catch (const std::exception& e) {
    engine_failure = FileName + ": " + e.what();
  }
  const bool renamed_back = RenameWithoutReplacing(zip_name, FileName);
  ProcessSucceeded = renamed_back && engine_failure.empty() && outcome.Succeeded();
  if (!engine_failure.empty()) Report(engine_failure, log);
  if (!renamed_back) Report(kRenameBackFailed, log);
  if (engine_failure.empty() && outcome.kml_entries == 0)
    log.NotProcessed("no KML entry in " + FileName);
}

}  // namespace kmlcompat

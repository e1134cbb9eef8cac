#include "app/kml_tool.h"

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

bool KmlTool::ProcessFile(const std::string& FileName, bool make_backup, ProcessLog& log) {
  ProcessSucceeded = false;
  log.Clear();
  std::string ext = UpperExtension(FileName);
  if (ext == ".KML") {
    ProcessKml(FileName, make_backup, log);
  } else if (ext == ".KMZ") {
    ProcessKmz(FileName, make_backup, log);
  } else {
    log.NotProcessed("not a KML or KMZ file: " + FileName);
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

void KmlTool::ProcessKmz(const std::string& FileName, bool make_backup, ProcessLog& log) {
  if (make_backup && !MakeBackup(FileName, log)) return;
  log.Problem("KMZ archives cannot be processed by this version: " + FileName);
}

}  // namespace kmlcompat

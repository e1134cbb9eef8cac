// One file after another through kmlcompat-cli: each is analysed first,
// read-only; one that needs no repair is left untouched, one that does is
// repaired by the shared workflow (KmlTool::ProcessFile) unless the run only
// checks. A file that fails never stops the run.
#pragma once

#include <exception>
#include <string>

#include "app/kml_tool.h"
#include "cli/file_report.h"
#include "cli/options.h"

namespace kmlcompat {

class BatchRun {
 public:
  // None of the arguments is owned; all must outlive the object. Progress
  // and problems go to `log`; a KMZ's questions (a password, a failed entry)
  // to `dialogs`.
  BatchRun(const CliOptions& options, platform::FileSystem& fs, platform::Dialogs& dialogs,
           ProcessLog& log)
      : options_(options), fs_(fs), dialogs_(dialogs), log_(log), tool_(fs, dialogs) {}

  // Takes up `path` (a caught stop signal cancels a KMZ repair under way,
  // leaving the archive as it was); with a non-empty `walk_problem`, the folder `path` could
  // not be searched and is reported failed for that reason. Never throws
  // for a failure of the file.
  FileReport Process(const std::string& path, const std::string& walk_problem);

 private:
  class RecordingLog;
  void ProcessKml(FileReport& report, RecordingLog& log);
  void ProcessKmz(FileReport& report, RecordingLog& log);
  // Fine, needs repair, or repaired by the workflow, by the changes found.
  void Settle(FileReport& report, RecordingLog& log);
  // The entries' outcome after the workflow took up the archive.
  void SettleEntries(FileReport& report, const RecordingLog& log);
  // Fails the file for `reason` (kept for --json), told to people in
  // `words` when they are given.
  void Fail(FileReport& report, const std::string& reason, RecordingLog& log,
            const std::string& words = {});
  void FailOpening(FileReport& report, const std::exception& failure, RecordingLog& log);
  // Logs a failure's line, or in a check without --json only keeps it: the
  // status line "cannot repair: REASON" says it there.
  void Tell(const FileReport& report, const std::string& line, RecordingLog& log);

  const CliOptions& options_;
  platform::FileSystem& fs_;
  platform::Dialogs& dialogs_;
  ProcessLog& log_;
  KmlTool tool_;
  InterruptibleProgress progress_;
};

}  // namespace kmlcompat

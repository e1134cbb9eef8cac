// The tool's workflow for one chosen file, shared by the window and the
// command-line program: pick the path by extension, make the backup, rewrite
// the KML file or the KML entries of the KMZ archive, and keep the outcome
// in ProcessSucceeded.
#pragma once

#include <string>

#include "app/process_log.h"
#include "app/progress_sink.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"

namespace kmlcompat {

inline constexpr char kStatusDone[] = "Done";
inline constexpr char kStatusFailed[] = "Process Failed";

class KmlTool {
 public:
  // Neither argument is owned; both must outlive the tool.
  KmlTool(platform::FileSystem& fs, platform::Dialogs& dialogs) : fs_(fs), dialogs_(dialogs) {}

  // True while the last processed file succeeded; False at start.
  bool ProcessSucceeded = false;

  // Rewrites one KML file in place. Sets ProcessSucceeded to True, and back to
  // False if the rewrite fails, keeping the reason in LastProblem(); never throws.
  void ModifyKMLFile(const std::string& FileName);
  const std::string& LastProblem() const { return last_problem_; }

  // Processes a chosen file: clears the log, then takes the KML or the KMZ
  // path by the file's extension (any letter case), making the backup
  // FileName + ".Backup" first when `make_backup` is set. A file that the
  // repair would refuse (RepairRefusal) fails at once with the reason, with
  // no backup made. Returns ProcessSucceeded. Never throws.
  //
  // A KMZ file goes through the round trip of KmzRoundTrip under its own
  // name, which it keeps at every instant: the engine's commit leaves the
  // old or the new archive there whatever interrupts it (an unfinished
  // commit is rolled back by the next open). It succeeds when it holds KML
  // entries and every one of them was repaired. A failure of the archive
  // engine is shown as a message.
  //
  // The round trip of a KMZ file reports to `progress` (not owned; may be
  // null) and stops when it asks to: the archive is left as it was and the
  // outcome is a failure (see KmzRoundTrip::Run). A KML file is rewritten
  // without progress reports.
  bool ProcessFile(const std::string& FileName, bool make_backup, ProcessLog& log,
                   ProgressSink* progress = nullptr);

  // "Done" or "Process Failed".
  static const char* StatusText(bool succeeded) { return succeeded ? kStatusDone : kStatusFailed; }

  // The extension of a path: from the last '.' after the last '/', dot
  // included, upper-cased in ASCII; empty when there is none.
  static std::string UpperExtension(const std::string& path);

 private:
  bool MakeBackup(const std::string& FileName, ProcessLog& log);
  void ProcessKml(const std::string& FileName, bool make_backup, ProcessLog& log);
  void ProcessKmz(const std::string& FileName, bool make_backup, ProcessLog& log,
                  ProgressSink* progress);

  platform::FileSystem& fs_;
  platform::Dialogs& dialogs_;
  std::string last_problem_;
};

}  // namespace kmlcompat

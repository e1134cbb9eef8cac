// The tool's workflow for one chosen file, shared by the window and the
// command-line program: pick the path by extension, make the backup, rewrite,
// and keep the outcome in ProcessSucceeded.
#pragma once

#include <string>

#include "platform/dialogs.h"
#include "platform/file_system.h"

namespace kmlcompat {

// Where the workflow reports progress. The window shows progress and problems
// in its text box; the command-line program prints progress to standard
// output and problems to standard error.
class ProcessLog {
 public:
  virtual ~ProcessLog() = default;
  virtual void Clear() = 0;
  virtual void Add(const std::string& line) = 0;
  // Why a file that was taken up failed.
  virtual void Problem(const std::string& line) = 0;
  // Why a file was not taken up at all. The window shows nothing then: its
  // text box stays empty and the status says "Process Failed".
  virtual void NotProcessed(const std::string& /*line*/) {}
};

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
  // FileName + ".Backup" first when `make_backup` is set. Returns
  // ProcessSucceeded. Never throws.
  bool ProcessFile(const std::string& FileName, bool make_backup, ProcessLog& log);

  // "Done" or "Process Failed".
  static const char* StatusText(bool succeeded) { return succeeded ? kStatusDone : kStatusFailed; }

  // The extension of a path: from the last '.' after the last '/', dot
  // included, upper-cased in ASCII; empty when there is none.
  static std::string UpperExtension(const std::string& path);

 private:
  bool MakeBackup(const std::string& FileName, ProcessLog& log);
  void ProcessKml(const std::string& FileName, bool make_backup, ProcessLog& log);
  void ProcessKmz(const std::string& FileName, bool make_backup, ProcessLog& log);

  platform::FileSystem& fs_;
  platform::Dialogs& dialogs_;
  std::string last_problem_;
};

}  // namespace kmlcompat

// What kmlcompat-cli found and did for one file, and how it says so: a JSON
// line, a status line, and the counts of the closing summary.
#pragma once

#include <string>
#include <vector>

#include "kml/rewriter.h"

namespace kmlcompat {

// kCannotRepair: a check found that the repair would refuse the file; it
// counts as failed.
enum class FileStatus { kRepaired, kFine, kNeedsRepair, kFailed, kCannotRepair };

struct EntryReport {
  std::string name;  // stored name in UTF-8
  kml::KmlChanges changes;
  FileStatus status = FileStatus::kFailed;
  std::string reason;  // why it failed
};

struct FileReport {
  std::string path;
  // "kml", "kmz"; "folder" for a folder that could not be searched, "other"
  // for a file named neither .kml nor .kmz.
  std::string kind;
  kml::KmlChanges changes;           // for a KMZ file, those of all its entries
  std::vector<EntryReport> entries;  // the KML entries of a KMZ file
  FileStatus status = FileStatus::kFailed;
  std::string reason;  // why it failed (an engine's message as it made it)
  std::string words;   // the reason in words for people; empty: `reason`
};

// "repaired", "fine", "needs-repair", "failed" or "cannot-repair".
const char* StatusName(FileStatus status);

// The report as one line of JSON, without the line end: path, kind,
// changes (a list among "namespace" and "tuples"), status, reason when
// failed or not repairable, and for a KMZ file its entries with name, changes, status (and
// reason).
std::string JsonLine(const FileReport& report);

// The human status line: "PATH: Done", "PATH: Done (no repair needed)" and
// "PATH: Process Failed" for a repair; "PATH: needs repair (namespace,
// tuples)", "PATH: fine", "PATH: cannot repair: REASON" and "PATH: failed"
// for a check.
std::string StatusLine(const FileReport& report, bool check_only);

// The counts of a run.
class Tally {
 public:
  void Add(FileStatus status) { ++counts_[static_cast<int>(status)]; }
  // "N repaired, N already fine, N failed", or for a check
  // "N need repair, N fine, N failed".
  std::string Summary(bool check_only) const;
  // 1 when a file failed or, in a check, needs repair or cannot be
  // repaired; else 0.
  int ExitStatus() const;

 private:
  int Count(FileStatus status) const { return counts_[static_cast<int>(status)]; }
  int Failures() const { return Count(FileStatus::kFailed) + Count(FileStatus::kCannotRepair); }
  int counts_[5] = {};
};

}  // namespace kmlcompat

#include "cli/file_report.h"

#include "cli/json_text.h"

namespace kmlcompat {

namespace {

std::string ChangeList(const kml::KmlChanges& changes, const char* open, const char* separator,
                       const char* close, bool quoted) {
  std::vector<std::string> names;
  if (changes.namespace_declaration) names.emplace_back("namespace");
  if (changes.tuples) names.emplace_back("tuples");
  std::string out = open;
  for (size_t i = 0; i < names.size(); ++i)
    out.append(i == 0 ? "" : separator).append(quoted ? JsonString(names[i]) : names[i]);
  return out.append(close);
}

// The fields common to files and entries, after the name: changes, status, reason.
std::string JsonOutcome(const kml::KmlChanges& changes, FileStatus status,
                        const std::string& reason) {
  std::string out = ",\"changes\":" + ChangeList(changes, "[", ",", "]", true);
  out.append(",\"status\":").append(JsonString(StatusName(status)));
  if (status == FileStatus::kFailed || status == FileStatus::kCannotRepair)
    out.append(",\"reason\":").append(JsonString(reason));
  return out;
}

std::string JsonEntries(const std::vector<EntryReport>& entries) {
  std::string out = ",\"entries\":[";
  for (size_t i = 0; i < entries.size(); ++i) {
    const EntryReport& entry = entries[i];
    out.append(i == 0 ? "{\"name\":" : ",{\"name\":").append(JsonString(entry.name));
    out.append(JsonOutcome(entry.changes, entry.status, entry.reason)).append("}");
  }
  return out.append("]");
}

}  // namespace

const char* StatusName(FileStatus status) {
  switch (status) {
    case FileStatus::kRepaired:
      return "repaired";
    case FileStatus::kFine:
      return "fine";
    case FileStatus::kNeedsRepair:
      return "needs-repair";
    case FileStatus::kCannotRepair:
      return "cannot-repair";
    case FileStatus::kFailed:
      break;
  }
  return "failed";
}

std::string JsonLine(const FileReport& report) {
  std::string out = "{\"path\":" + JsonString(report.path);
  out.append(",\"kind\":").append(JsonString(report.kind));
  out.append(JsonOutcome(report.changes, report.status, report.reason));
  if (report.kind == "kmz") out.append(JsonEntries(report.entries));
  return out.append("}");
}

std::string StatusLine(const FileReport& report, bool check_only) {
  switch (report.status) {
    case FileStatus::kRepaired:
      return report.path + ": Done";
    case FileStatus::kFine:
      return report.path + (check_only ? ": fine" : ": Done (no repair needed)");
    case FileStatus::kNeedsRepair:
      return report.path + ": needs repair" + ChangeList(report.changes, " (", ", ", ")", false);
    case FileStatus::kCannotRepair:
      return report.path +
             ": cannot repair: " + (report.words.empty() ? report.reason : report.words);
    case FileStatus::kFailed:
      break;
  }
  return report.path + (check_only ? ": failed" : ": Process Failed");
}

std::string Tally::Summary(bool check_only) const {
  const std::string failed = std::to_string(Failures()) + " failed";
  const std::string fine = std::to_string(Count(FileStatus::kFine));
  if (check_only)
    return std::to_string(Count(FileStatus::kNeedsRepair)) + " need repair, " + fine + " fine, " +
           failed;
  return std::to_string(Count(FileStatus::kRepaired)) + " repaired, " + fine + " already fine, " +
         failed;
}

int Tally::ExitStatus() const {
  return Failures() + Count(FileStatus::kNeedsRepair) > 0 ? 1 : 0;
}

}  // namespace kmlcompat

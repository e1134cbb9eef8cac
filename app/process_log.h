// Where the workflow reports progress. The window shows progress and problems
// in its text box; the command-line program prints progress to standard
// output and problems to standard error.
#pragma once

#include <string>

namespace kmlcompat {

class ProcessLog {
 public:
  virtual ~ProcessLog() = default;
  virtual void Clear() = 0;
  virtual void Add(const std::string& line) = 0;
  // Why a file that was taken up failed.
  virtual void Problem(const std::string& line) = 0;
  // Why a file was not taken up at all (not a KML or KMZ file, a KMZ file
  // without KML entries); reported as a problem unless overridden.
  virtual void NotProcessed(const std::string& line) { Problem(line); }
  // A problem told in words (`line`) whose cause a component reported in
  // its own message (`detail`, an engine's message with its code): people
  // are shown the words; a log that keeps reasons for programs keeps the
  // detail. Shows the words as any problem unless overridden.
  virtual void ProblemWithDetail(const std::string& line, const std::string& detail) {
    static_cast<void>(detail);
    Problem(line);
  }
};

}  // namespace kmlcompat

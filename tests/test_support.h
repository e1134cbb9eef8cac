// Helpers shared by the tests: scratch folders, whole-file reads and writes,
// and a file system that fails on request.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// A fresh folder below $TMPDIR (or /tmp), removed with its contents on destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> List() const;

 private:
  std::string path_;
};

// Makes a folder unwritable for as long as it lives: no write bits, and for
// a superuser, whom permissions do not bind, the immutable flag as well.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const std::string& path);
  ~UnwritableFolder();
  UnwritableFolder(const UnwritableFolder&) = delete;
  UnwritableFolder& operator=(const UnwritableFolder&) = delete;
  // False when this file system lets the folder be written all the same.
  bool Binds() const;

 private:
  std::string path_;
  bool immutable_ = false;
};

std::string ReadAll(const std::string& path);

// The folder of real KML and KMZ files: $KMLCOMPAT_CORPUS, else the shared
// corpus beside the project.
std::string CorpusDir();
// The names (not paths) of the corpus files that end in one of `suffixes`,
// sorted; empty when there is no corpus.
std::vector<std::string> CorpusFiles(const std::vector<std::string>& suffixes);

// What a shell command did: its exit status (-1 when it did not exit) and
// what it wrote to standard output and standard error. Standard input is
// empty.
struct CommandResult {
  int status;
  std::string out;
  std::string err;
};
CommandResult RunCommand(const std::string& command);

// `text` quoted for the shell.
std::string ShellQuote(const std::string& text);
void WriteAll(const std::string& path, const std::string& data);

}  // namespace testing_support

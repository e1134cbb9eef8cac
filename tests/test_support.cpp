#include "tests/test_support.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/exception.h"
#include "platform/unique_fd.h"

namespace testing_support {

ScratchDir::ScratchDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp && *tmp ? tmp : "/tmp";
  std::string templ = base + "/kmlcompat-test-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Restore write permission where a test took it away, so that removal works.
  for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
    std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> ScratchDir::List() const {
  std::vector<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(path_))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

// Sets or clears the immutable attribute; false when the file system refuses.
bool SetImmutable(const std::string& path, bool on) {
  const platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY));
  if (!fd.Valid()) return false;
  int flags = 0;
  bool ok = ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  return ok && ioctl(fd.Get(), FS_IOC_SETFLAGS, &flags) == 0;
}

}  // namespace

UnwritableFolder::UnwritableFolder(const std::string& path) : path_(path) {
  chmod(path.c_str(), 0555);
  if (geteuid() == 0) immutable_ = SetImmutable(path, true);
}

UnwritableFolder::~UnwritableFolder() {
  if (immutable_) SetImmutable(path_, false);
  chmod(path_.c_str(), 0755);
}

bool UnwritableFolder::Binds() const {
  std::string probe = path_ + "/.probe";
  if (!platform::UniqueFd(open(probe.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600)).Valid())
    return true;
  unlink(probe.c_str());
  return false;
}

std::string CorpusDir() {
  const char* env = std::getenv("KMLCOMPAT_CORPUS");
  return env ? env : KMLCOMPAT_CORPUS_DEFAULT;
}

std::vector<std::string> CorpusFiles(const std::vector<std::string>& suffixes) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusDir(), error)) {
    const std::string name = entry.path().filename().string();
    for (const std::string& suffix : suffixes)
      if (name.size() > suffix.size() && name.ends_with(suffix)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CommandResult RunCommand(const std::string& command) {
  ScratchDir capture;
  std::string out = capture.File("out"), err = capture.File("err");
  std::string full =
      "(" + command + ") >" + ShellQuote(out) + " 2>" + ShellQuote(err) + " </dev/null";
  int raw = std::system(full.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(out), ReadAll(err)};
}

void WriteAll(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace testing_support

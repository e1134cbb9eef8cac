// Feeds arbitrary bytes to the KML rewriter as a file, and to the tuple
// cleaner as coordinate text. Aborts when a rewrite that failed changed its
// input, when an output line ends otherwise than with CR LF, or when the
// cleaner loses, adds or changes a value.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kml/rewriter.h"
#include "kml/tuple_cleaner.h"
#include "platform/posix_file_system.h"
#include "platform/scripted_dialogs.h"

namespace {

std::vector<std::string> Values(std::string_view text) {
  std::vector<std::string> values;
  std::string value;
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= 32 || c == ',') {
      if (!value.empty()) values.push_back(value);
      value.clear();
    } else {
      value += c;
    }
  }
  if (!value.empty()) values.push_back(value);
  return values;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void CheckCleaner(std::string_view text) {
  std::string out;
  kml::CleanTuples(text, &out);
  if (out.size() > text.size() || Values(out) != Values(text)) std::abort();
}

void CheckRewrite(std::string_view data) {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/kml-fuzz-" + std::to_string(getpid()) +
           ".kml";
  }();
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(data.data(), data.size());
  platform::PosixFileSystem fs;
  platform::ScriptedDialogs dialogs;
  kml::RewriteOutcome outcome = kml::RewriteKmlFile(path, fs, dialogs);
  std::string after = ReadFile(path);
  if (!outcome.succeeded && after != data) std::abort();
  if (outcome.succeeded) {
    if (after.size() < 2 || !after.ends_with("\r\n")) std::abort();
    for (size_t i = 0; i < after.size(); ++i) {
      bool lone_lf = after[i] == '\n' && (i == 0 || after[i - 1] != '\r');
      bool lone_cr = after[i] == '\r' && (i + 1 == after.size() || after[i + 1] != '\n');
      if (lone_lf || lone_cr) std::abort();
    }
  }
  unlink(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckCleaner(bytes);
  CheckRewrite(bytes);
  return 0;
}

// Rewrites copies of the real KML files of the shared corpus and checks that
// each result is well-formed whenever its input was, has its root in the OGC
// KML 2.2 namespace, and keeps every number of its coordinates.

#include <gtest/gtest.h>

#include "app/kml_tool.h"
#include "kml/rewriter.h"
#include "platform/posix_file_system.h"
#include "platform/scripted_dialogs.h"
#include "tests/test_support.h"

namespace {

using testing_support::CorpusDir;
using testing_support::CorpusFiles;
using testing_support::ReadAll;
using testing_support::RunCommand;
using testing_support::ScratchDir;
using testing_support::ShellQuote;
using testing_support::WriteAll;

bool WellFormed(const std::string& path) {
  return RunCommand("xmllint --noout --nonet " + ShellQuote(path)).status == 0;
}

std::string RootName(const std::string& path) {
  std::string name =
      RunCommand("xmllint --nonet --xpath 'concat(local-name(/*),\"|\",namespace-uri(/*))' " +
                 ShellQuote(path))
          .out;
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

// The values inside every coordinates element (prefixed or not), in order.
std::vector<std::string> CoordinateValues(const std::string& text) {
  std::vector<std::string> values;
  size_t pos = 0;
  while ((pos = text.find("coordinates>", pos)) != std::string::npos) {
    bool opening = pos > 0 && (text[pos - 1] == '<' || text[pos - 1] == ':') &&
                   text.rfind("</", pos) != pos - 2 && text[pos - 2] != '/';
    pos += 12;
    if (!opening) continue;
    size_t end = text.find("</", pos);
    std::string body = text.substr(pos, end - pos);
    std::string value;
    for (char c : body + " ") {
      if (static_cast<unsigned char>(c) <= 32 || c == ',') {
        if (!value.empty()) values.push_back(value);
        value.clear();
      } else {
        value += c;
      }
    }
  }
  return values;
}

// The text with every line end made LF, cut at a Ctrl-Z, trailing line ends
// dropped: what a rewrite changes besides the form of line ends.
std::string LineText(std::string text) {
  text = text.substr(0, text.find('\x1a'));
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool crlf = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    if (!crlf) lines.push_back(text[i] == '\r' ? '\n' : text[i]);
  }
  while (!lines.empty() && lines.back() == '\n') lines.pop_back();
  return lines;
}

bool HasXmllint() {
  return RunCommand("xmllint --version").status == 0;
}

TEST(Corpus, EveryKmlFileIsRepairedWithoutLosingCoordinates) {
  std::vector<std::string> files = CorpusFiles({".kml"});
  if (files.empty()) GTEST_SKIP() << "no corpus at " << CorpusDir();
  ASSERT_TRUE(HasXmllint()) << "xmllint (libxml2-utils) is needed";
  ScratchDir dir;
  platform::PosixFileSystem fs;
  platform::ScriptedDialogs dialogs;
  kmlcompat::KmlTool tool(fs, dialogs);
  for (const std::string& name : files) {
    SCOPED_TRACE(name);
    std::string original = CorpusDir() + "/" + name;
    std::string copy = dir.File(name);
    std::string input = ReadAll(original);
    WriteAll(copy, input);
    const kml::KmlAnalysis analysis = kml::AnalyseKmlFile(copy, fs);
    tool.ModifyKMLFile(copy);
    ASSERT_TRUE(tool.ProcessSucceeded) << tool.LastProblem();
    std::string output = ReadAll(copy);
    // The dry run foretells the rewrite, and finds nothing left to repair after it.
    EXPECT_EQ(analysis.changes.Any(), LineText(output) != LineText(input));
    EXPECT_FALSE(kml::AnalyseKmlFile(copy, fs).changes.Any());
    EXPECT_EQ(CoordinateValues(output), CoordinateValues(input));
    EXPECT_EQ(output.find("\n\n"), std::string::npos);  // no bare LF remains
    if (!WellFormed(original)) continue;
    EXPECT_TRUE(WellFormed(copy));
    EXPECT_EQ(RootName(copy), "kml|http://www.opengis.net/kml/2.2");
  }
  EXPECT_EQ(dir.List().size(), files.size());  // no temporary file is left
}

}  // namespace

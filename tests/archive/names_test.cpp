// File names and modes through `parcelon add`, other readers and
// `parcelon extract`: every name comes back with its own bytes, every mode
// with its permission bits.
#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <set>

#include "tests/test_support.h"

namespace {

using testing_support::CommandResult;
using testing_support::ReadAll;
using testing_support::RunCommand;
using testing_support::ScratchDir;
using testing_support::ShellQuote;
using testing_support::WriteAll;
using Names = std::vector<std::string>;

const std::string kParcelon = PARCELON_PROGRAM;
const std::string kPython = PARCELON_PYTHON;

// ASCII, CP437-fitting, CJK, Latin-1 bytes that are no UTF-8, case twins;
// and whether the name is stored with flag bit 11.
const std::pair<std::string, bool> kTable[] = {
    {"plain.kml", false},   {"Z\xC3\xBCrich.kml", true}, {"\xE6\x97\xA5\xE6\x9C\xAC.kml", true},
    {"caf\xE9.kml", false}, {"README", false},           {"readme", false}};
const Names kNames = [] {
  Names names;
  for (const auto& row : kTable) names.push_back(row.first);
  return names;
}();

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (const unsigned char c : bytes) {
    hex += "0123456789abcdef"[c >> 4];
    hex += "0123456789abcdef"[c & 15];
  }
  return hex;
}

bool Installed(const std::string& program) {
  return RunCommand("command -v " + program).status == 0;
}

std::set<std::string> FolderNames(const std::string& folder) {
  std::set<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') names.insert(entry->d_name);
    closedir(dir);
  }
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class NamesAndModes : public testing::Test {
 protected:
  // parcelon in the folder `src`, which holds `files`.
  CommandResult Add(const std::string& archive, const Names& files) {
    std::string command = "cd " + ShellQuote(src) + " && " + ShellQuote(kParcelon) +
                          " add --quiet " + ShellQuote(archive);
    for (const std::string& file : files) command.append(" ").append(ShellQuote(file));
    return RunCommand(command);
  }
  CommandResult Utf8(const std::string& command) {
    return RunCommand("LC_ALL=C.UTF-8 " + command + " 2>&1");
  }

  ScratchDir dir;
  std::string src = dir.File("src");
};

TEST_F(NamesAndModes, EveryReaderReadsTheNamesAndExtractionGivesTheirBytes) {
  RunCommand("mkdir -p " + ShellQuote(src));
  for (const std::string& name : kNames) WriteAll(src + "/" + name, name);
  const std::string archive = dir.File("names.zip");
  ASSERT_EQ(Add(archive, kNames).status, 0);
  // Raw name bytes, flag bit 11 and host, as stored.
  const CommandResult stored =
      RunCommand(ShellQuote(kPython) +
                 " -c 'import sys,zipfile\n"
                 "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                 " u=i.flag_bits&0x800; raw=i.filename.encode(\"utf-8\" if u else \"cp437\")\n"
                 " print(raw.hex(), 1 if u else 0, i.create_system)' " +
                 ShellQuote(archive));
  std::string expected;
  for (const auto& [name, utf8] : kTable) expected += Hex(name) + (utf8 ? " 1 3\n" : " 0 3\n");
  EXPECT_EQ(stored.out, expected) << stored.err;
  for (const auto& [reader, list] : {std::pair<std::string, std::string>{"7z", " l "},
                                     std::pair<std::string, std::string>{"bsdtar", " tf "}}) {
    if (!Installed(reader)) continue;
    const CommandResult listed = Utf8(reader + list + ShellQuote(archive));
    EXPECT_EQ(listed.status, 0) << reader << listed.out;
    for (size_t i : {1, 2}) EXPECT_NE(listed.out.find(kNames[i]), std::string::npos) << reader;
  }
  const std::string out = dir.File("out");
  ASSERT_EQ(RunCommand(ShellQuote(kParcelon) + " extract --quiet " + ShellQuote(archive) + " " +
                       ShellQuote(out))
                .status,
            0);
  EXPECT_EQ(FolderNames(out), std::set<std::string>(kNames.begin(), kNames.end()));
  for (const std::string& name : kNames) EXPECT_EQ(ReadAll(out + "/" + name), name);
}

// Java refuses a whole archive over one name it cannot decode, so it reads
// the archive of the names that are UTF-8.
TEST_F(NamesAndModes, JavaReadsUtf8Names) {
  if (!Installed("jar")) GTEST_SKIP() << "no jar";
  RunCommand("mkdir -p " + ShellQuote(src));
  const Names names = {kNames[0], kNames[1], kNames[2]};
  for (const std::string& name : names) WriteAll(src + "/" + name, name);
  const std::string archive = dir.File("utf8.zip");
  ASSERT_EQ(Add(archive, names).status, 0);
  const CommandResult listed = Utf8("jar tf " + ShellQuote(archive));
  EXPECT_EQ(listed.status, 0) << listed.out;
  for (const std::string& name : names)
    EXPECT_NE(listed.out.find(name + "\n"), std::string::npos) << listed.out;
}

TEST_F(NamesAndModes, PermissionsComeBackThroughEveryExtractor) {
  RunCommand("mkdir -p " + ShellQuote(src));
  const std::pair<std::string, mode_t> files[] = {{"run.sh", 0755}, {"secret", 0600}};
  for (const auto& [name, mode] : files) {
    WriteAll(src + "/" + name, name);
    chmod((src + "/" + name).c_str(), mode);
  }
  const std::string archive = dir.File("modes.zip");
  ASSERT_EQ(Add(archive, {"run.sh", "secret"}).status, 0);
  const std::pair<std::string, std::string> extractors[] = {
      {"parcelon", ShellQuote(kParcelon) + " extract --quiet " + ShellQuote(archive) + " "},
      {"unzip", "unzip -qo " + ShellQuote(archive) + " -d "},
      {"bsdtar", "bsdtar -xpf " + ShellQuote(archive) + " -C "}};
  for (const auto& [tool, command] : extractors) {
    if (!Installed(tool == "parcelon" ? kParcelon : tool)) continue;
    const std::string out = dir.File(tool);
    RunCommand("mkdir -p " + ShellQuote(out));
    ASSERT_EQ(RunCommand(command + ShellQuote(out)).status, 0) << tool;
    for (const auto& [name, mode] : files)
      EXPECT_EQ(ModeOf(out + "/" + name), mode) << tool << name;
  }
}

TEST_F(NamesAndModes, LargeSparseFileIsNoArchive) {
  const std::string file = dir.File("sparse.zip");
  ASSERT_EQ(RunCommand("truncate -s 64G " + ShellQuote(file)).status, 0);
  const CommandResult listed = RunCommand(ShellQuote(kParcelon) + " list " + ShellQuote(file));
  EXPECT_EQ(listed.status, 1);
  EXPECT_NE(listed.err.find("not a ZIP archive"), std::string::npos) << listed.err;
}

}  // namespace

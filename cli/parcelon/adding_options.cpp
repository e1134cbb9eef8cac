// The options of `parcelon add` and `parcelon move`.
#include <string_view>

#include "cli/parcelon/adding.h"
#include "platform/unicode.h"

namespace parcelon::cli {

const char kAddingOptions[] =
    "Options:\n"
    "  --level N          0 stores; 1 (default) to 9 deflate, faster to smaller\n"
    "  --base-dir DIR     names, masks and stored names are relative to DIR\n"
    "                     (default: the current folder)\n"
    "  --store-path MODE  none: file names only; relative (default): the path\n"
    "                     below DIR, the full path for files outside it; full\n"
    "  --no-recurse       no subfolders: only the files of the folders named\n"
    "  --exclude MASK     leave out the files and folders that match (repeatable)\n"
    "  --store MASK       store the files that match uncompressed (repeatable)\n"
    "  --quiet            no progress bar\n"
    "Masks: '*' is any run of characters, '/' included, '?' one character; case is\n"
    "ignored. A name or mask without '/' is looked for in every subfolder too:\n"
    "'*.kml' takes every KML file of the tree, 'doc.kml' every doc.kml, and\n"
    "'./doc.kml' only the one in DIR. A folder named is taken with all it holds.\n"
    "An --exclude or --store mask without '/' matches a name in any folder ('*.tmp',\n"
    "'build'); one with '/' matches paths below DIR ('sub/*'). Links to folders are\n"
    "followed only when named; links to files always. An entry of the same name is\n"
    "replaced. Files that cannot be read are named on standard error and left out;\n"
    "the exit status is then 1. Archives of 4 GiB and more use Zip64 records.\n";

namespace {

constexpr char kSeeHelp[] = "--help lists the options.\n";

bool TakesValue(std::string_view name) {
  return name == "--level" || name == "--base-dir" || name == "--store-path" ||
         name == "--exclude" || name == "--store";
}

bool ParseLevel(const std::string& value, int& level) {
  if (value.size() != 1 || value[0] < '0' || value[0] > '9') return false;
  level = value[0] - '0';
  return true;
}

bool ParseStorePath(const std::string& value, TPLStorePathMode& mode) {
  if (value == "none") return mode = spNoPath, true;
  if (value == "relative") return mode = spRelativePath, true;
  if (value == "full") return mode = spFullPath, true;
  return false;
}

// Applies option `name` with its value; returns what is wrong, or nothing.
std::string ApplyValue(const std::string& name, const std::string& value, AddingRequest& request) {
  if (name == "--level")
    return ParseLevel(value, request.level) ? "" : "--level takes a number from 0 to 9";
  if (name == "--store-path")
    return ParseStorePath(value, request.store_path) ? ""
                                                     : "--store-path takes none, relative or full";
  if (name == "--base-dir") return request.base_dir = value, "";
  if (name == "--exclude") return request.exclusions.push_back(platform::Utf8ToUtf16(value)), "";
  if (name == "--store") return request.stored.push_back(platform::Utf8ToUtf16(value)), "";
  return "unknown option " + name;
}

// Applies the option at args[i] ("--name", "--name VALUE" or "--name=VALUE"),
// moving i past its value; returns what is wrong, or nothing.
std::string ApplyOption(const Args& args, size_t& i, AddingRequest& request) {
  const std::string& arg = args[i];
  if (arg == "--no-recurse") return request.recurse = false, "";
  if (arg == "--quiet") return request.quiet = true, "";
  const size_t equals = arg.find('=');
  const std::string name = arg.substr(0, equals);
  if (equals != std::string::npos) return ApplyValue(name, arg.substr(equals + 1), request);
  if (!TakesValue(name)) return "unknown option " + name;
  if (i + 1 >= args.size()) return "option " + name + " needs a value";
  return ApplyValue(name, args[++i], request);
}

}  // namespace

int ParseAdding(const Args& args, const char* usage, AddingRequest& request, std::ostream& out,
                std::ostream& err) {
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      (request.archive.empty() ? request.archive : request.files.emplace_back()) = arg;
    } else if (arg == "--") {
      options_done = true;
    } else if (arg == "--help") {
      return out << usage << kAddingOptions, -1;
    } else if (const std::string problem = ApplyOption(args, i, request); !problem.empty()) {
      return err << "parcelon: " << problem << '\n' << usage << kSeeHelp, 2;
    }
  }
  if (request.archive.empty() || request.files.empty()) return err << usage << kSeeHelp, 2;
  return 0;
}

}  // namespace parcelon::cli

// The options of `parcelon add` and `parcelon move`.
#include <optional>
#include <string>
#include <string_view>

#include "cli/parcelon/adding.h"
#include "cli/parcelon/password_prompt.h"
#include "platform/unicode.h"

namespace parcelon::cli {

const char kAddingOptions[] =
    "Options:\n"
    "  --level N          0 stores; 1 (default) to 9 deflate, faster to smaller\n"
    "  --threads N        deflate on N threads (1 to 64); 0 (default): one per\n"
    "                     core. The archive is the same whatever N is.\n"
    "  --base-dir DIR     names, masks and stored names are relative to DIR\n"
    "                     (default: the current folder)\n"
    "  --store-path MODE  none: file names only; relative (default): the path\n"
    "                     below DIR, the full path for files outside it; full\n"
    "  --no-recurse       no subfolders: only the files of the folders named\n"
    "  --exclude MASK     leave out the files and folders that match (repeatable)\n"
    "  --store MASK       store the files that match uncompressed (repeatable)\n"
    "  --quiet            no progress bar\n"
    "  --verbose          after each failure, the engine's own message with its code\n"
    "  --password PW      encrypt the new entries with PW (other users of this\n"
    "                     machine may see it in the process list)\n"
    "  --encrypt KIND     aes256 (default), aes192, aes128, or zipcrypto (weak,\n"
    "                     easily broken; only for readers that know nothing\n"
    "                     else); without --password it is asked for twice on\n"
    "                     the terminal. Folders are never encrypted.\n"
    "  --unprotected-update  where the archive's folder refuses the update's\n"
    "                     rollback journal, update anyway (warned first); a\n"
    "                     crash during it can lose entries. Without it such an\n"
    "                     update is refused.\n"
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
  return name == "--level" || name == "--threads" || name == "--base-dir" ||
         name == "--store-path" || name == "--exclude" || name == "--store" ||
         name == "--password" || name == "--encrypt";
}

bool ParseLevel(const std::string& value, int& level) {
  if (value.size() != 1 || value[0] < '0' || value[0] > '9') return false;
  level = value[0] - '0';
  return true;
}

bool ParseThreads(const std::string& value, int& threads) {
  if (value.empty() || value.size() > 2 || value.find_first_not_of("0123456789") != value.npos)
    return false;
  threads = std::stoi(value);
  return threads <= 64;
}

bool ParseStorePath(const std::string& value, TPLStorePathMode& mode) {
  if (value == "none") return mode = spNoPath, true;
  if (value == "relative") return mode = spRelativePath, true;
  if (value == "full") return mode = spFullPath, true;
  return false;
}

bool ParseEncryption(const std::string& value, TPLCryptoAlgorithm& kind) {
  if (value == "aes256") return kind = caAES_256, true;
  if (value == "aes192") return kind = caAES_192, true;
  if (value == "aes128") return kind = caAES_128, true;
  if (value == "zipcrypto") return kind = caPkzipClassic, true;
  return false;
}

// Applies option `name` with its value; returns what is wrong, or nothing
// (never the value of --password).
std::string ApplyValue(const std::string& name, const std::string& value, AddingRequest& request,
                       bool& encrypt) {
  if (name == "--password")
    return value.empty() ? "--password takes a password that is not empty"
                         : (request.password = value, "");
  if (name == "--encrypt")
    return ParseEncryption(value, request.encryption)
               ? (encrypt = true, "")
               : "--encrypt takes aes256, aes192, aes128 or zipcrypto";
  if (name == "--level")
    return ParseLevel(value, request.level) ? "" : "--level takes a number from 0 to 9";
  if (name == "--threads")
    return ParseThreads(value, request.threads) ? "" : "--threads takes a number from 0 to 64";
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
std::string ApplyOption(const Args& args, size_t& i, AddingRequest& request, bool& encrypt) {
  const std::string& arg = args[i];
  if (arg == "--no-recurse") return request.recurse = false, "";
  if (arg == "--quiet") return request.quiet = true, "";
  if (arg == "--verbose") return request.verbose = true, "";
  if (arg == "--unprotected-update") return request.unprotected_update = true, "";
  const size_t equals = arg.find('=');
  const std::string name = arg.substr(0, equals);
  if (equals != std::string::npos)
    return ApplyValue(name, arg.substr(equals + 1), request, encrypt);
  if (!TakesValue(name)) return "unknown option " + name;
  if (i + 1 >= args.size()) return "option " + name + " needs a value";
  return ApplyValue(name, args[++i], request, encrypt);
}

// Once the arguments are read: the password that --encrypt alone asks for
// on the terminal, and the warning against the weak cipher. Returns 0 to go
// on, or 2 after writing why to `err`.
int SettleEncryption(AddingRequest& request, bool encrypt, const char* usage, std::ostream& err) {
  if (encrypt && request.password.empty()) {
    if (!InputIsTerminal()) {
      err << "parcelon: --encrypt without --password asks for the password on a terminal, "
             "and standard input is not one\n"
          << usage << kSeeHelp;
      return 2;
    }
    std::optional<std::string> password = AskNewPassword(err);
    if (!password) return 2;
    request.password = std::move(*password);
  }
  if (!request.password.empty() && request.encryption == caPkzipClassic)
    err << "parcelon: warning: zipcrypto is weak and easily broken; use aes256 unless a reader "
           "knows nothing else\n";
  return 0;
}

}  // namespace

int ParseAdding(const Args& args, const char* usage, AddingRequest& request, std::ostream& out,
                std::ostream& err) {
  bool options_done = false;
  bool encrypt = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      (request.archive.empty() ? request.archive : request.files.emplace_back()) = arg;
    } else if (arg == "--") {
      options_done = true;
    } else if (arg == "--help") {
      return out << usage << kAddingOptions, -1;
    } else if (const std::string problem = ApplyOption(args, i, request, encrypt);
               !problem.empty()) {
      return err << "parcelon: " << problem << '\n' << usage << kSeeHelp, 2;
    }
  }
  if (request.archive.empty() || request.files.empty()) return err << usage << kSeeHelp, 2;
  return SettleEncryption(request, encrypt, usage, err);
}

}  // namespace parcelon::cli

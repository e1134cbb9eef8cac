#include "cli/parcelon/entry_options.h"

#include <optional>
#include <string_view>

#include "platform/unicode.h"

namespace parcelon::cli {
namespace {

bool ParseOverwrite(std::string_view value, TPLOverwriteMode& mode) {
  if (value == "always") return mode = omAlways, true;
  if (value == "never") return mode = omNever, true;
  if (value == "newer") return mode = omIfNewer, true;
  if (value == "older") return mode = omIfOlder, true;
  return false;
}

// The value of the option at args[i], "--name=value" or "--name value"
// (moving i past it); nothing when it has none.
std::optional<std::string> OptionValue(const Args& args, size_t& i) {
  const std::string& arg = args[i];
  if (const size_t equals = arg.find('='); equals != std::string::npos)
    return arg.substr(equals + 1);
  if (i + 1 < args.size()) return args[++i];
  return std::nullopt;
}

// Applies the option at args[i], moving i past its value; returns what is
// wrong, or nothing.
std::string ApplyOption(const Args& args, size_t& i, const EntryVerb& verb, EntryRequest& request) {
  const std::string& arg = args[i];
  if (arg == "--quiet") return request.quiet = true, "";
  if (arg == "--verbose") return request.verbose = true, "";
  if (verb.extract_options && arg == "--no-dirs") return request.create_dirs = false, "";
  if (verb.update_option && arg == "--unprotected-update")
    return request.unprotected_update = true, "";
  const std::string name = arg.substr(0, arg.find('='));
  const bool known = (verb.extract_options && name == "--overwrite") ||
                     (verb.password_option && name == "--password");
  if (!known) return "unknown option " + name;
  const std::optional<std::string> value = OptionValue(args, i);
  if (!value) return "option " + name + " needs a value";
  if (name == "--password") return request.password = *value, "";
  if (!ParseOverwrite(*value, request.overwrite))
    return "--overwrite takes always, never, newer or older";
  return "";
}

// Takes a word that is no option: ARCHIVE, then DEST where the verb has
// one, then masks.
void TakeOperand(const std::string& arg, const EntryVerb& verb, EntryRequest& request,
                 bool& dest_taken) {
  if (request.archive.empty()) {
    request.archive = arg;
  } else if (verb.has_dest && !dest_taken) {
    request.dest = arg;
    dest_taken = true;
  } else {
    request.masks.push_back(platform::Utf8ToUtf16(arg));
  }
}

}  // namespace

int ParseEntryArgs(const Args& args, const EntryVerb& verb, EntryRequest& request,
                   std::ostream& out, std::ostream& err) {
  bool options_done = false;
  bool dest_taken = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      TakeOperand(arg, verb, request, dest_taken);
    } else if (arg == "--") {
      options_done = true;
    } else if (arg == "--help") {
      return out << verb.usage, -1;
    } else if (const std::string problem = ApplyOption(args, i, verb, request); !problem.empty()) {
      return err << "parcelon: " << problem << '\n' << verb.usage, 2;
    }
  }
  const bool complete = !request.archive.empty() && (!verb.has_dest || dest_taken) &&
                        (!verb.needs_masks || !request.masks.empty());
  if (!complete || (verb.has_dest && request.dest.empty())) return err << verb.usage, 2;
  return 0;
}

}  // namespace parcelon::cli

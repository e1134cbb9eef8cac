#include "cli/parcelon/verbs.h"

#include "cli/parcelon/adding.h"
#include "cli/parcelon/verb_usage.h"

namespace parcelon::cli {
namespace {

// The shared shape: parse the arguments (--help and bad usage end there,
// with 0 and 2), then run the request.
template <class Request, class Parse, class Run>
int ParseThenRun(Parse parse, Run run) {
  Request request;
  if (const int status = parse(request); status != 0) return status < 0 ? 0 : status;
  return run(request);
}

int RunEntryVerb(const Verb& verb, const Args& args, std::ostream& out, std::ostream& err) {
  return ParseThenRun<EntryRequest>(
      [&](EntryRequest& request) { return ParseEntryArgs(args, verb.options, request, out, err); },
      [&](const EntryRequest& request) { return RunEntries(request, verb.operation, out, err); });
}

int RunAddingVerb(const Verb& verb, const Args& args, std::ostream& out, std::ostream& err) {
  return ParseThenRun<AddingRequest>(
      [&](AddingRequest& request) {
        return ParseAdding(args, verb.options.usage, request, out, err);
      },
      [&](const AddingRequest& request) { return RunAdding(request, verb.move, err); });
}

int RunListVerb(const Verb&, const Args& args, std::ostream& out, std::ostream& err) {
  return RunList(args, out, err);
}

int RunInfoVerb(const Verb&, const Args& args, std::ostream& out, std::ostream& err) {
  return RunInfo(args, out, err);
}

// EntryVerb: usage, has DEST, needs masks, --overwrite and --no-dirs,
// --password, --unprotected-update.
constexpr Verb kVerbs[] = {
    {.name = "list", .run = RunListVerb, .cancellable = false},
    {.name = "info", .run = RunInfoVerb, .cancellable = false},
    {.name = "add",
     .run = RunAddingVerb,
     .cancellable = true,
     .options = {kAddUsage, false, false, false, false, false}},
    {.name = "move",
     .run = RunAddingVerb,
     .cancellable = true,
     .options = {kMoveUsage, false, false, false, false, false},
     .move = true},
    {.name = "extract",
     .run = RunEntryVerb,
     .cancellable = true,
     .options = {kExtractUsage, true, false, true, true, false},
     .operation = EntryOperation::kExtract},
    {.name = "test",
     .run = RunEntryVerb,
     .cancellable = true,
     .options = {kTestUsage, false, false, false, true, false},
     .operation = EntryOperation::kTest},
    {.name = "delete",
     .run = RunEntryVerb,
     .cancellable = true,
     .options = {kDeleteUsage, false, true, false, false, true},
     .operation = EntryOperation::kDelete},
};

}  // namespace

const Verb* FindVerb(std::string_view name) {
  for (const Verb& verb : kVerbs)
    if (name == verb.name) return &verb;
  return nullptr;
}

}  // namespace parcelon::cli

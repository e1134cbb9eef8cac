// parcelon's verb table: each verb's name, the function that runs it, its
// usage text and options, and whether a stop signal cancels it.
#pragma once

#include <ostream>
#include <string_view>

#include "cli/parcelon/commands.h"
#include "cli/parcelon/entry_options.h"
#include "cli/parcelon/entry_run.h"

namespace parcelon::cli {

struct Verb {
  const char* name;
  // Runs the verb over the arguments after it; returns the exit status.
  int (*run)(const Verb& verb, const Args& args, std::ostream& out, std::ostream& err);
  bool cancellable;  // a stop signal cancels it through its progress events
  // For the verbs of the shared shape: the usage text and options (add and
  // move use the usage text only), the entry operation, and move's deleting.
  EntryVerb options{};
  EntryOperation operation = EntryOperation::kExtract;
  bool move = false;
};

// The verb of that name; nullptr for none.
const Verb* FindVerb(std::string_view name);

}  // namespace parcelon::cli

#include "archive/format/overwrite_rule.h"

namespace parcelon {

bool MayOverwrite(TPLOverwriteMode mode, DosDateTime incoming, DosDateTime existing,
                  const std::function<bool()>& confirm) {
  const auto incoming_time = static_cast<int32_t>(incoming.Packed());
  const auto existing_time = static_cast<int32_t>(existing.Packed());
  switch (mode) {
    case omPrompt:
      return confirm();
    case omAlways:
      return true;
    case omNever:
      return false;
    case omIfNewer:
      return incoming_time > existing_time;
    case omIfOlder:
      return incoming_time < existing_time;
  }
  return false;
}

}  // namespace parcelon

// Damage of the archive's format found while reading its central directory,
// kept apart from failures of the stream under it.
#pragma once

#include <string>
#include <utility>

#include "platform/exception.h"

namespace parcelon {

// The bytes of the archive are not the records they should be. It is a
// stream error, so callers that catch those still do, with the stream
// layer's message "Stream read error"; Reason() says what is damaged in a
// few stable lower-case words ("central header 3 is damaged"). The loader
// answers this exception, and only this one, with a rebuild from the local
// headers: an I/O failure or running out of memory is no damage.
class EPLFormatDamage : public platform::EStreamError {
 public:
  explicit EPLFormatDamage(std::string reason)
      : platform::EStreamError(u"Stream read error"), reason_(std::move(reason)) {}
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

}  // namespace parcelon

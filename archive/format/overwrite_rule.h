// The overwrite rule: whether a file may take the place of one that is
// already there, shared by extraction, queuing of disk files and the
// marking of entries for update from disk.
#pragma once

#include <functional>

#include "archive/common/types.h"
#include "archive/format/dos_time.h"

namespace parcelon {

// omAlways: yes; omNever: no; omPrompt: what `confirm` answers (called for
// that mode only); omIfNewer / omIfOlder: whether `incoming` is newer /
// older than `existing`, the packed DOS values compared as signed numbers.
bool MayOverwrite(TPLOverwriteMode mode, DosDateTime incoming, DosDateTime existing,
                  const std::function<bool()>& confirm);

}  // namespace parcelon

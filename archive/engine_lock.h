// The one process-wide, re-entrant lock of the engine, shared by all
// archivers and held while entries are processed, so that two archivers
// never process entries at the same moment.
#pragma once

#include <mutex>

namespace parcelon {

std::recursive_mutex& EngineLock();

}  // namespace parcelon

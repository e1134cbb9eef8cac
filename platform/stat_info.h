// A file's description, as the system's stat structure gives it.
#pragma once

#include <sys/stat.h>

#include "platform/file_system.h"

namespace platform {

// What `st` says, in the terms of FileInfo (`exists` set).
FileInfo InfoOf(const struct stat& st);

}  // namespace platform

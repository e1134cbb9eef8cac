// Writes the central directory, the Zip64 end records when needed and the
// end of central directory record at the end of the archive stream.
#pragma once

#include "archive/common/settings.h"
#include "archive/directory/dir_manager.h"

namespace parcelon {

// Truncates the stream at its end... (see the .cpp): seeks to the end,
// writes every entry's central header, name, extra fields (a fresh Zip64
// field where needed, the others as kept) and comment, then the end records
// and the kept archive comment. Updates the manager's end records and
// central directory offset. A short write raises error 46 (named by
// settings.component).
void WriteCentralDirectory(TPLDirManager& manager, const platform::CodePages& code_pages,
                           const EngineSettings& settings);

}  // namespace parcelon

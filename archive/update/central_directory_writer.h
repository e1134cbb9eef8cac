// Writes the central directory, the Zip64 end records when needed and the
// end of central directory record at the end of the archive stream.
#pragma once

#include "archive/common/component.h"
#include "archive/directory/dir_manager.h"

namespace parcelon {

struct CentralWriteSettings {
  bool oem_file_names = true;
  const TComponent* component = nullptr;  // names the archiver in error messages
};

// Truncates the stream at its end... (see the .cpp): seeks to the end,
// writes every entry's central header, name, extra fields (a fresh Zip64
// field where needed, the others as kept) and comment, then the end records
// and the kept archive comment. Updates the manager's end records and
// central directory offset. A short write raises error 46.
void WriteCentralDirectory(TPLDirManager& manager, const platform::CodePages& code_pages,
                           const CentralWriteSettings& settings);

}  // namespace parcelon

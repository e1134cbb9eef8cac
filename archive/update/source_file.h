// Opening the disk file a new entry's data comes from.
#pragma once

#include <memory>
#include <string>

#include "archive/update/entry_writer.h"
#include "platform/stream.h"

namespace parcelon {

// Opens `name` for reading with the context's sharing mode; the stream is
// the caller's. Raises error 61 when the name is too long for the system,
// error 33 when the file cannot be opened otherwise.
std::unique_ptr<platform::Stream> OpenSourceFile(const std::u16string& name,
                                                 const EntryWriteContext& context);

}  // namespace parcelon

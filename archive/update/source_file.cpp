#include "archive/update/source_file.h"

#include <cerrno>

#include "archive/errors/pl_exception.h"
#include "platform/exception.h"
#include "platform/unicode.h"

namespace parcelon {

std::unique_ptr<platform::Stream> OpenSourceFile(const std::u16string& name,
                                                 const EntryWriteContext& context) {
  try {
    return context.fs.OpenStream(platform::Utf16ToUtf8(name),
                                 platform::fmOpenRead | context.settings.writing.source_share);
  } catch (const platform::EStreamError& failure) {
    if (failure.Errno() == ENAMETOOLONG)
      throw EPLException::CreateFmt(errc::kNameTooLong, {name}, context.settings.component);
    throw EPLException::CreateFmt(errc::kCannotOpenSource, {name}, context.settings.component);
  }
}

}  // namespace parcelon

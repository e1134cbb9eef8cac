#include "archive/options.h"

namespace parcelon {

uint16_t TPLOptions::ShareModeBits() const {
  switch (share_mode_) {
    case smShareExclusive:
      return fmShareExclusive;
    case smShareDenyWrite:
      return fmShareDenyWrite;
    case smShareDenyRead:
      return fmShareDenyRead;
    case smShareDenyNone:
      return fmShareDenyNone;
    case smShareCompat:
      break;
  }
  return fmShareCompat;
}

void TPLOptions::Assign(const TPLOptions& source) {
  const TPLFileShareMode kept = share_mode_;
  *this = source;
  share_mode_ = kept;
}

}  // namespace parcelon

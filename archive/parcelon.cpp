#include "archive/parcelon.h"

namespace parcelon {

TParcelon::TParcelon(TComponent* owner, ArchiverEnvironment environment)
    : TPLBaseArchiver(owner, environment) {
  // The base constructor ran its own UpdateDefaultMethod; this class's
  // method codes apply from here on.
  UpdateDefaultMethod();
  SetZip64Mode(zmDisabled);
}

void TParcelon::UpdateDefaultMethod() {
  SetNewEntryMethod(CompressionMode() > 0 ? 8 : 0);
}

}  // namespace parcelon

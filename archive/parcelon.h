// The concrete archiver component: deflate for new entries whenever the
// compression mode is above 0, and Zip64 disabled until asked for.
#pragma once

#include "archive/base_archiver.h"

namespace parcelon {

class TParcelon : public TPLBaseArchiver {
 public:
  explicit TParcelon(TComponent* owner = nullptr, ArchiverEnvironment environment = {});

 protected:
  // Method 8 (deflate) when CompressionMode is above 0, else 0 (stored).
  void UpdateDefaultMethod() override;
};

}  // namespace parcelon

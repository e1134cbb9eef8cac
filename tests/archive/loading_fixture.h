// What the loader tests share: an archive in a memory stream and the
// directory manager over it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "archive/directory/dir_manager.h"
#include "archive/directory/format_damage.h"
#include "archive/errors/pl_exception.h"
#include "platform/iconv_code_pages.h"
#include "platform/memory_stream.h"
#include "tests/archive/engine_error.h"
#include "zip_builder.h"

namespace ziptest {

using testing_support::CodeOf;

// The load's settings: repair, and OEM names.
inline parcelon::EngineSettings Loading(bool repair, bool oem) {
  parcelon::EngineSettings settings;
  settings.reading.repair_directory = repair;
  settings.names.oem = oem;
  return settings;
}

class LoaderTest : public ::testing::Test {
 protected:
  parcelon::TPLDirManager& Open(Bytes bytes) {
    stream_ = std::make_unique<platform::MemoryStream>(std::move(bytes));
    manager_ = std::make_unique<parcelon::TPLDirManager>(*stream_, code_pages_, false);
    return *manager_;
  }
  parcelon::TPLDirManager& Load(Bytes bytes, const parcelon::EngineSettings& settings = {}) {
    Open(std::move(bytes)).LoadDirectory(settings);
    return *manager_;
  }
  int32_t LoadError(Bytes bytes, const parcelon::EngineSettings& settings = {}) {
    return CodeOf([&] { Load(std::move(bytes), settings); });
  }
  // The rebuild leaves the directory offset at the end of the stream.
  bool Rebuilt() { return manager_->CentralDirOffset() == stream_->Size(); }
  const parcelon::TDirItem& Item(int32_t index) { return manager_->Dir().Items(index); }

  platform::IconvCodePages code_pages_;
  std::unique_ptr<platform::MemoryStream> stream_;
  std::unique_ptr<parcelon::TPLDirManager> manager_;
};

inline TestEntry FileEntry(std::string name, std::string data) {
  TestEntry entry;
  entry.name = std::move(name);
  entry.data = std::move(data);
  return entry;
}

}  // namespace ziptest

// The named component that the archiver is: its Name prefixes engine messages.
#pragma once

#include <string>

namespace parcelon {

class TComponent {
 public:
  virtual ~TComponent() = default;
  const std::u16string& Name() const { return name_; }
  void SetName(std::u16string name) { name_ = std::move(name); }

 private:
  std::u16string name_;
};

}  // namespace parcelon

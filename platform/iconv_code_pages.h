// The code pages of archive names on this system: ANSI is Windows-1252, OEM
// is IBM437. The tables are built once, with the C library's iconv, when the
// object is made; afterwards every call only reads them, so one object may be
// shared by threads.
#pragma once

#include <array>
#include <clocale>
#include <memory>
#include <type_traits>
#include <utility>

#include "platform/code_pages.h"

namespace platform {

class IconvCodePages : public CodePages {
 public:
  // Builds the tables. Throws std::runtime_error when iconv lacks one of the
  // two code pages. When the C.UTF-8 locale is missing, the case mappings
  // fall back to ASCII letters only.
  IconvCodePages();
  ~IconvCodePages() override;
  IconvCodePages(const IconvCodePages&) = delete;
  IconvCodePages& operator=(const IconvCodePages&) = delete;

  std::u16string AnsiToWide(std::string_view ansi) const override;
  std::string WideToAnsi(std::u16string_view wide, bool* lossless = nullptr) const override;
  std::string OemToAnsi(std::string_view oem) const override;
  std::string AnsiToOem(std::string_view ansi) const override;
  std::u16string OemToWide(std::string_view oem) const override;
  std::u16string Utf8ToWide(std::string_view utf8) const override;
  std::string WideToUtf8(std::u16string_view wide) const override;
  std::u16string WideLower(std::u16string_view text) const override;
  std::u16string WideUpper(std::u16string_view text) const override;
  char16_t CharUpper(char16_t c) const override;

  // One 8-bit code page: byte -> UTF-16 and the reverse for bytes 0x80-0xFF.
  struct Table {
    std::array<char16_t, 256> to_wide{};
    // (code unit, byte) for the upper half, sorted by code unit.
    std::array<std::pair<char16_t, uint8_t>, 128> from_wide{};
  };

 private:
  char16_t Lower(char16_t c) const;

  Table ansi_;
  Table oem_;
  std::array<char, 256> oem_to_ansi_{};
  std::array<char, 256> ansi_to_oem_{};
  struct FreeLocale {
    void operator()(locale_t handle) const { freelocale(handle); }
  };
  // The C.UTF-8 locale of the case mappings; null when it is missing.
  std::unique_ptr<std::remove_pointer_t<locale_t>, FreeLocale> locale_;
};

}  // namespace platform

#include "archive/errors/error_tables.h"

#include <string>

namespace parcelon {

const std::array<std::u16string_view, kErrorMessageCount> ErrorMessageTable = {
    u"Unknown error",
    u"Index out of bounds",
    u"Invalid compression mode. Mode must be in [0-9] range",
    u"Unexpected nil pointer",
    u"Invalid size or check sum of file or unsupported compression format",
    u"File name is blank. Specify appropriate file name",
    u"File \"%s\" not found",
    u"Archive is not open",
    u"SFXStub property is not specified",
    u"Cannot create file \"%s\"",
    u"Cannot create directory \"%s\"",
    u"Internal error. Update is not started",
    u"Cannot open file \"%s\"",
    u"Cannot proceed when update is not ended. Preceding EndUpdate call is required.",
    u"Cannot delete file \"%s\"",
    u"In-memory archive can be created only",
    u"File is open in read-only mode",
    u"Invalid compressed size, rfs.size = %d, count = %d",
    u"Invalid archive file.",
    u"Cannot create output file. Probably file is locked by another process. FileName = '%s'.",
    u"Archive is open. You should close it beore performing this operation.",
    u"Unable to create directory",
    u"Cannot find 64-bit directory end record",
    u"Cannot compress file '%s'. Zip64 mode is not enabled",
    u"Cannot open archive file. Opening aborted or invalid file",
    u"Write to stream error",
    u"Cannot place SFX stub on volume. Volume size limit is too small",
    u"Archive is damaged. Open failed",
    u"MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive "
    u"creation instead of MakeSFX",
    u"Archive already has SFX stub",
    u"Multi-volume archive is not allowed for custom stream",
    u"Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods "
    u"to add files several times",
    u"Deflate64 compression method is not supported",
    u"MakeSFX error",
    u"Hashed list of file names is invalid",
    u"Cannot delete folder \"%s\"",
    u"File name is too long: \r\n\"%s\"",
    u"Multiple transactions are not supported for multi-volume archives",
    u"Invalid InitVector index = %d. Index should be >= 0 and < %d",
    u"Disk is full. There is not enough free space on disk.",
    u"Invalid password. Cannot decompress encrypted file.",
};

// Detailed code -> public code, in the order of the detailed codes.
const std::array<std::pair<int32_t, int32_t>, kNativeErrorCount> NativeErrorTable = {{
    {0, 0},   {1, 1},   {2, 1},   {3, 1},   {4, 1},   {5, 2},   {6, 3},   {7, 1},   {8, 4},
    {9, 5},   {10, 5},  {11, 6},  {12, 6},  {13, 7},  {14, 7},  {15, 6},  {16, 1},  {17, 8},
    {18, 6},  {19, 9},  {20, 10}, {21, 1},  {22, 11}, {23, 9},  {24, 1},  {25, 11}, {26, 13},
    {27, 14}, {28, 15}, {29, 5},  {30, 6},  {31, 6},  {32, 16}, {33, 12}, {34, 17}, {35, 18},
    {36, 19}, {37, 20}, {38, 6},  {39, 21}, {40, 22}, {41, 23}, {42, 6},  {43, 23}, {44, 24},
    {45, 24}, {46, 25}, {47, 26}, {48, 27}, {49, 28}, {50, 29}, {51, 30}, {52, 31}, {53, 6},
    {54, 6},  {55, 32}, {56, 33}, {57, 27}, {58, 34}, {59, 34}, {60, 35}, {61, 36}, {62, 37},
    {63, 38}, {64, 38}, {65, 39}, {66, 39}, {67, 40}, {68, 24}, {69, 9},  {70, 9},
}};

int32_t ErrorCodeOf(int32_t native_error) {
  for (const auto& [native, code] : NativeErrorTable)
    if (native == native_error) return code;
  return 0;
}

namespace {

// Appends the next argument for one conversion ('s' or 'd') and advances.
void AppendArg(std::u16string& out, char16_t conversion, const std::vector<FormatArg>& args,
               size_t& next) {
  const FormatArg* arg = next < args.size() ? &args[next] : nullptr;
  ++next;
  if (conversion == u's') {
    if (const auto* text = arg ? std::get_if<std::u16string>(arg) : nullptr) out += *text;
    return;
  }
  const auto* number = arg ? std::get_if<int64_t>(arg) : nullptr;
  const std::string digits = std::to_string(number ? *number : 0);
  out.append(digits.begin(), digits.end());
}

}  // namespace

std::u16string FormatMessage(std::u16string_view format, const std::vector<FormatArg>& args) {
  std::u16string out;
  out.reserve(format.size());
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    const char16_t c = format[i];
    const char16_t conversion = i + 1 < format.size() ? format[i + 1] : u'\0';
    if (c != u'%' || (conversion != u's' && conversion != u'd' && conversion != u'%')) {
      out += c;
      continue;
    }
    ++i;
    if (conversion == u'%')
      out += u'%';
    else
      AppendArg(out, conversion, args, next);
  }
  return out;
}

}  // namespace parcelon

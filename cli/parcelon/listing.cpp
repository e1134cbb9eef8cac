#include "cli/parcelon/listing.h"

#include <cstdio>

#include "archive/format/dos_time.h"

namespace parcelon::cli {
namespace {

std::string Format(const char* format, auto... values) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return buffer;
}

double Ratio(int64_t uncompressed, int64_t compressed) {
  if (uncompressed <= 0) return 100;
  const double ratio = (1.0 - static_cast<double>(compressed) / static_cast<double>(uncompressed));
  return ratio < 0 ? 0 : ratio * 100;
}

}  // namespace

std::string TsvLine(const std::string& stored_name, const TPLArchiveItem& item) {
  return stored_name + Format("\t%lld\t%lld\t%08x\t%s\t%08x\t%d",
                              static_cast<long long>(item.UncompressedSize),
                              static_cast<long long>(item.CompressedSize), item.Crc32,
                              FormatDosDateTime(item.LastModFileDate, item.LastModFileTime).c_str(),
                              item.ExternalAttributes, item.Encrypted ? 1 : 0);
}

std::string TableHeader() {
  return "      Length      Packed  Saved  Modified             CRC-32    Attributes  E  Name\n"
         "------------  ----------  -----  -------------------  --------  ----------  -  ----\n";
}

std::string TableLine(const std::string& stored_name, const TPLArchiveItem& item) {
  return Format("%12lld  %10lld  %4.0f%%  %s  %08x  %08x    %c  ",
                static_cast<long long>(item.UncompressedSize),
                static_cast<long long>(item.CompressedSize), item.CompressionPercent,
                FormatDosDateTime(item.LastModFileDate, item.LastModFileTime).c_str(), item.Crc32,
                item.ExternalAttributes, item.Encrypted ? '*' : ' ') +
         stored_name + "\n";
}

std::string TotalsLine(int64_t entries, int64_t uncompressed, int64_t compressed) {
  return Format("%12lld  %10lld  %4.0f%%  %lld %s\n", static_cast<long long>(uncompressed),
                static_cast<long long>(compressed), Ratio(uncompressed, compressed),
                static_cast<long long>(entries), entries == 1 ? "entry" : "entries");
}

}  // namespace parcelon::cli

#include "cli/parcelon/listing.h"

#include <cmath>

#include "cli/parcelon/text_format.h"

namespace parcelon::cli {
namespace {

// "   nn%": the saved percentage right-aligned in 4 characters.
void AppendPercent(std::string& out, uint64_t size, uint64_t packed) {
  AppendDecimal(out, SavedPercent(size, packed), 4);
  out += '%';
}

// The encryption of an encrypted entry, as the table shows it in four
// columns and as the tab-separated line names it.
struct EncryptionKind {
  const char* mark;
  const char* name;
};

EncryptionKind KindOf(const EntryView& entry) {
  if (!entry.IsEncrypted()) return {"    ", "none"};
  switch (entry.Encryption()) {
    case caAES_128:
      return {"A128", "aes128"};
    case caAES_192:
      return {"A192", "aes192"};
    case caAES_256:
      return {"A256", "aes256"};
    case caPkzipClassic:
      break;
  }
  return {"Z   ", "zipcrypto"};
}

}  // namespace

void AppendTsvLine(std::string& out, const EntryView& entry) {
  AppendEscapedName(out, entry.Name());
  out += '\t';
  AppendDecimal(out, entry.Size());
  out += '\t';
  AppendDecimal(out, entry.PackedSize());
  out += '\t';
  AppendHex8(out, entry.Crc32());
  out += '\t';
  AppendDosDateTime(out, entry.FileDate(), entry.FileTime());
  out += '\t';
  AppendHex8(out, entry.ExternalAttributes());
  out += entry.IsEncrypted() ? "\t1\t" : "\t0\t";
  out += KindOf(entry).name;
  out += '\n';
}

void AppendTableHeader(std::string& out) {
  out +=
      "      Length      Packed  Saved  Modified             CRC-32    Attributes  Enc   Name\n"
      "------------  ----------  -----  -------------------  --------  ----------  ----  ----\n";
}

void AppendTableLine(std::string& out, const EntryView& entry) {
  AppendDecimal(out, entry.Size(), 12);
  out += "  ";
  AppendDecimal(out, entry.PackedSize(), 10);
  out += "  ";
  AppendPercent(out, entry.Size(), entry.PackedSize());
  out += "  ";
  AppendDosDateTime(out, entry.FileDate(), entry.FileTime());
  out += "  ";
  AppendHex8(out, entry.Crc32());
  out += "  ";
  AppendHex8(out, entry.ExternalAttributes());
  out += "    ";
  out += KindOf(entry).mark;
  out += "  ";
  AppendEscapedName(out, entry.Name());
  out += '\n';
}

void AppendTotalsLine(std::string& out, uint64_t entries, uint64_t size, uint64_t packed) {
  AppendDecimal(out, size, 12);
  out += "  ";
  AppendDecimal(out, packed, 10);
  out += "  ";
  AppendPercent(out, size, packed);
  out += "  ";
  AppendDecimal(out, entries);
  out += entries == 1 ? " entry\n" : " entries\n";
}

unsigned SavedPercent(uint64_t size, uint64_t packed) {
  if (size == 0) return 100;
  const double percent = (1.0 - static_cast<double>(packed) / static_cast<double>(size)) * 100.0;
  // nearbyint rounds half to even in the default rounding mode, as printf does.
  return percent <= 0 ? 0 : static_cast<unsigned>(std::nearbyint(percent));
}

uint64_t AddSaturated(uint64_t total, uint64_t size) {
  return size > UINT64_MAX - total ? UINT64_MAX : total + size;
}

}  // namespace parcelon::cli

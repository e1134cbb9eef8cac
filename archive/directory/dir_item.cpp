#include "archive/directory/dir_item.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <utility>

namespace parcelon {

struct TDirItemStore::Side {
  std::vector<char16_t> loaded;  // the loaded block, when not in an arena
  std::optional<std::string> comment;
  std::optional<std::vector<ExtraField>> extra_fields;
  std::u16string previous_name;
  std::u16string source_file_name;
  SharedSecret password;
  std::shared_ptr<platform::Stream> data_stream;
  int64_t data_stream_position = 0;
  bool owns_data_stream = false;
};

namespace {

// A loaded block, in 16-bit units: a header of the four lengths (name in
// units with the flag bit 11 as read in its top bit, name bytes, comment,
// extra area), the name, then the bytes of the name, comment and extra
// area. Name bytes that are the name's own ASCII characters are not stored
// twice: their length is kSameAsName.
struct BlockHeader {
  uint32_t name_units;
  uint32_t name_bytes;
  uint16_t comment;
  uint16_t extra;
};
constexpr size_t kHeaderUnits = sizeof(BlockHeader) / 2;
constexpr uint32_t kSameAsName = UINT32_MAX;
constexpr uint32_t kUtf8Bit = 0x80000000u;

bool SameAsName(std::u16string_view name, std::string_view bytes) {
  if (name.size() != bytes.size()) return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (static_cast<unsigned char>(bytes[i]) >= 0x80 || name[i] != char16_t(bytes[i])) return false;
  return true;
}

// The header with the flag taken out of the name's length.
BlockHeader HeaderOf(const char16_t* block) {
  BlockHeader header;
  std::memcpy(&header, block, sizeof header);
  header.name_units &= ~kUtf8Bit;
  return header;
}

size_t StoredBytes(const BlockHeader& h) {
  return (h.name_bytes == kSameAsName ? 0 : h.name_bytes) + h.comment + h.extra;
}

size_t BlockUnits(const BlockHeader& h) {
  return kHeaderUnits + h.name_units + (StoredBytes(h) + 1) / 2;
}

const char* BytesOf(const char16_t* block) {
  return reinterpret_cast<const char*>(block + kHeaderUnits + HeaderOf(block).name_units);
}

std::u16string_view NameOf(const char16_t* block) {
  return {block + kHeaderUnits, HeaderOf(block).name_units};
}

void WriteBlock(char16_t* block, const BlockHeader& header, const TLoadedTexts& texts) {
  BlockHeader stored = header;
  if (texts.name_utf8) stored.name_units |= kUtf8Bit;
  std::memcpy(block, &stored, sizeof stored);
  std::memcpy(block + kHeaderUnits, texts.name.data(), texts.name.size() * 2);
  auto* bytes = reinterpret_cast<char*>(block + kHeaderUnits + texts.name.size());
  if (header.name_bytes != kSameAsName)
    bytes = std::copy(texts.name_bytes.begin(), texts.name_bytes.end(), bytes);
  bytes = std::copy(texts.comment.begin(), texts.comment.end(), bytes);
  std::copy(texts.extra.begin(), texts.extra.end(), reinterpret_cast<uint8_t*>(bytes));
}

uint16_t Length16(size_t size) {
  if (size > UINT16_MAX) throw std::length_error("entry text too long");
  return static_cast<uint16_t>(size);
}

}  // namespace

TDirItemStore::TDirItemStore() = default;
TDirItemStore::~TDirItemStore() = default;

// A moved-from store is empty, so that it never points into the block of
// the store it moved to.
TDirItemStore::TDirItemStore(TDirItemStore&& other) noexcept
    : loaded_(std::exchange(other.loaded_, nullptr)), side_(std::move(other.side_)) {}

TDirItemStore& TDirItemStore::operator=(TDirItemStore&& other) noexcept {
  const char16_t* loaded = std::exchange(other.loaded_, nullptr);
  side_ = std::move(other.side_);
  loaded_ = loaded;
  return *this;
}
TDirItemStore::TDirItemStore(const TDirItemStore& other)
    : side_(other.side_ ? std::make_unique<Side>(*other.side_) : nullptr) {
  if (!other.loaded_) return;
  if (other.side_ && other.loaded_ == other.side_->loaded.data()) {
    loaded_ = side_->loaded.data();
    return;
  }
  const size_t units = BlockUnits(HeaderOf(other.loaded_));
  MakeSide().loaded.assign(other.loaded_, other.loaded_ + units);
  loaded_ = side_->loaded.data();
}

TDirItemStore& TDirItemStore::operator=(const TDirItemStore& other) {
  if (this != &other) *this = TDirItemStore(other);
  return *this;
}

TDirItemStore::Side& TDirItemStore::MakeSide() {
  if (!side_) side_ = std::make_unique<Side>();
  return *side_;
}

TDirItemStore TDirItemStore::CopySharingArena() const {
  if (loaded_ && side_ && loaded_ == side_->loaded.data()) return TDirItemStore(*this);
  TDirItemStore copy;
  copy.loaded_ = loaded_;
  if (side_) copy.side_ = std::make_unique<Side>(*side_);
  return copy;
}

void TDirItemStore::SetLoaded(const TLoadedTexts& texts, TPLTextArena* arena) {
  const bool same = SameAsName(texts.name, texts.name_bytes);
  const BlockHeader header{static_cast<uint32_t>(texts.name.size()),
                           same ? kSameAsName : static_cast<uint32_t>(texts.name_bytes.size()),
                           Length16(texts.comment.size()), Length16(texts.extra.size())};
  if (texts.name.size() >= kUtf8Bit) throw std::length_error("entry text too long");
  const size_t units = BlockUnits(header);
  std::vector<char16_t> own(arena ? 0 : units);
  char16_t* block = arena ? arena->Allocate(units) : own.data();
  WriteBlock(block, header, texts);
  if (!arena) MakeSide().loaded = std::move(own);
  loaded_ = block;
}

std::string_view TDirItemStore::LoadedComment() const {
  if (!loaded_) return {};
  const BlockHeader header = HeaderOf(loaded_);
  const size_t name_bytes = header.name_bytes == kSameAsName ? 0 : header.name_bytes;
  return {BytesOf(loaded_) + name_bytes, header.comment};
}

std::span<const uint8_t> TDirItemStore::LoadedExtra() const {
  if (!loaded_) return {};
  const std::string_view comment = LoadedComment();
  return {reinterpret_cast<const uint8_t*>(comment.data() + comment.size()),
          HeaderOf(loaded_).extra};
}

std::u16string_view TDirItem::LoadedName() const {
  return store_.Loaded() ? NameOf(store_.Loaded()) : std::u16string_view();
}

std::string TDirItem::LoadedNameBytes() const {
  const char16_t* block = store_.Loaded();
  if (!block) return {};
  const BlockHeader header = HeaderOf(block);
  if (header.name_bytes != kSameAsName) return std::string(BytesOf(block), header.name_bytes);
  const std::u16string_view name = NameOf(block);
  return std::string(name.begin(), name.end());
}

// The entry's own comment and extra fields move to its side record first,
// as the block they may lie in is replaced.
bool TDirItem::LoadedNameUtf8() const {
  const char16_t* block = store_.Loaded();
  if (!block) return false;
  uint32_t name_units = 0;
  std::memcpy(&name_units, block, sizeof name_units);
  return (name_units & kUtf8Bit) != 0;
}

void TDirItem::CopyLoadedName(const TDirItem& other) {
  if (store_.Loaded()) {
    SetComment(std::string(Comment()));
    SetExtraFields(ExtraFields());
  }
  const std::string bytes = other.LoadedNameBytes();
  store_.SetLoaded({other.LoadedName(), bytes, other.LoadedNameUtf8(), {}, {}}, nullptr);
}

// A field added to TDirItem must be copied here too.
static_assert(sizeof(TDirItem) == 120, "CopySharingArena copies every field of TDirItem");

TDirItem TDirItem::CopySharingArena() const {
  TDirItem copy;
  static_cast<CentralDirHeader&>(copy) = *this;
  copy.Zip64DiskStart = Zip64DiskStart;
  copy.SnapshotIndex = SnapshotIndex;
  copy.RealMethod = RealMethod;
  copy.Encryption = Encryption;
  copy.IsZip64 = IsZip64;
  copy.Modified = Modified;
  copy.Marked = Marked;
  copy.CompressionMode = CompressionMode;
  copy.Operation = Operation;
  if (Name.borrowed()) {
    copy.Name = TEntryName::Borrowed(Name);  // a view, not a copy
  } else {
    copy.Name = Name;
  }
  copy.Zip64UnpackedSize = Zip64UnpackedSize;
  copy.Zip64PackedSize = Zip64PackedSize;
  copy.Zip64LocalHeaderOffset = Zip64LocalHeaderOffset;
  copy.store_ = store_.CopySharingArena();
  return copy;
}

std::string_view TDirItem::Comment() const {
  const auto* side = store_.SideRecord();
  if (side && side->comment) return *side->comment;
  return store_.LoadedComment();
}

void TDirItem::SetComment(std::string comment) {
  store_.MakeSide().comment = std::move(comment);
}

std::vector<ExtraField> TDirItem::ExtraFields() const {
  const auto* side = store_.SideRecord();
  if (side && side->extra_fields) return *side->extra_fields;
  return ParseExtraFields(store_.LoadedExtra());
}

void TDirItem::SetExtraFields(std::vector<ExtraField> fields) {
  store_.MakeSide().extra_fields = std::move(fields);
}

namespace {

template <typename T>
const T& Empty() {
  static const T empty{};
  return empty;
}

}  // namespace

const std::u16string& TDirItem::PreviousName() const {
  const auto* side = store_.SideRecord();
  return side ? side->previous_name : Empty<std::u16string>();
}

void TDirItem::SetPreviousName(std::u16string name) {
  store_.MakeSide().previous_name = std::move(name);
}

const std::u16string& TDirItem::SourceFileName() const {
  const auto* side = store_.SideRecord();
  return side ? side->source_file_name : Empty<std::u16string>();
}

void TDirItem::SetSourceFileName(std::u16string name) {
  store_.MakeSide().source_file_name = std::move(name);
}

const SharedSecret& TDirItem::Password() const {
  const auto* side = store_.SideRecord();
  return side ? side->password : Empty<SharedSecret>();
}

void TDirItem::SetPassword(SharedSecret password) {
  store_.MakeSide().password = std::move(password);
}

const std::shared_ptr<platform::Stream>& TDirItem::DataStream() const {
  const auto* side = store_.SideRecord();
  return side ? side->data_stream : Empty<std::shared_ptr<platform::Stream>>();
}

int64_t TDirItem::DataStreamPosition() const {
  const auto* side = store_.SideRecord();
  return side ? side->data_stream_position : 0;
}

bool TDirItem::OwnsDataStream() const {
  const auto* side = store_.SideRecord();
  return side && side->owns_data_stream;
}

void TDirItem::SetDataStream(std::shared_ptr<platform::Stream> stream, int64_t position,
                             bool owned) {
  auto& side = store_.MakeSide();
  side.data_stream = std::move(stream);
  side.data_stream_position = position;
  side.owns_data_stream = owned;
}

void TDirItem::ReleaseDataStream() {
  if (DataStream()) store_.MakeSide().data_stream.reset();
}

}  // namespace parcelon

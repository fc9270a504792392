// Language pack readers. Both formats are read through a stream, field by
// field, with every field's bounds checked against the range it lies in, so
// a short or damaged file ends a read cleanly and nothing outside the file
// is read. A scan reads the header only, and at most kScanReadLimit bytes of
// a file; loading reads the string table in pieces, keeping only its keys
// and texts.
#include "langpacks/LangPack.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "chunkfile/ChunkFile.h"
#include "compat/win32/CaseRules.h"
#include "compat/win32/File.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Sync.h"

namespace {

// Files above this size are not language packs; the largest real packs are
// a few megabytes.
constexpr std::uint64_t kMaxPackFileSize = std::uint64_t{1} << 30;
// The most a scan reads of one file, buffering included: a first-format
// header, or the chunk headers on the way to the header chunks and those
// chunks themselves. A file that needs more is not taken for a pack.
constexpr std::uint64_t kScanReadLimit = std::uint64_t{1} << 20;
// The largest first-format header, and the part of each of the chunk
// file's "lang", "apid" and "cmnt" chunks that is read: strings running past
// it end that chunk's reading, as strings running past the chunk do.
constexpr std::uint32_t kMaxHeaderSize = 0x40000;
// Fields are read from the stream in pieces of at least this size.
constexpr std::uint32_t kReadPiece = 0x10000;
// A pack file's first bytes are read once and kept: a chunk file's header
// chunks sit there and come in a dozen small reads.
constexpr std::uint64_t kHeadBytes = 0x1000;

constexpr std::string_view kMagicAnsi = "LANGPACK";
constexpr std::string_view kMagicAnsi2 = "LANGPCK2";
constexpr std::string_view kMagicWide = "LANGPU16";
constexpr std::string_view kChunkFileType = "URESFILE";
constexpr std::uint32_t kEntryStored = 0x1;

[[noreturn]] void ReadBeyondEnd() { throw std::out_of_range("read beyond the end of the language pack"); }

// The position after a read of `count` bytes at `position` of a stream of
// `size` bytes; a read that does not fit is refused whole, as a file
// refuses a read beyond its end (a negative count, taken as unsigned, fits
// no stream).
std::uint64_t CheckedRead(std::uint64_t position, std::int32_t count, std::uint64_t size) {
  if (position > size || size - position < static_cast<std::uint64_t>(count)) ReadBeyondEnd();
  return position + static_cast<std::uint64_t>(count);
}

// A read-only chunk-file stream; writing is refused.
class CReadOnlyStream : public chf::IStream {
 public:
  void AddRef() override { ++refCount_; }
  void Release() override {
    if (--refCount_ == 0) delete this;
  }
  std::uint64_t Tell() override { return position_; }
  void Seek(std::uint64_t position) override { position_ = position; }
  void Write(const void*, std::int32_t) override { refuse(); }
  void Insert(std::uint64_t) override { refuse(); }
  void Remove(std::uint64_t) override { refuse(); }

 protected:
  ~CReadOnlyStream() override = default;
  std::uint64_t position_ = 0;

 private:
  [[noreturn]] static void refuse() { throw std::logic_error("language packs are read only"); }
  std::int32_t refCount_ = 1;
};

// Bytes already in memory as a stream.
class CByteStream final : public CReadOnlyStream {
 public:
  explicit CByteStream(std::string_view bytes) : bytes_(bytes) {}

  std::uint64_t GetSize() override { return bytes_.size(); }
  void Read(void* buffer, std::int32_t count) override {
    const std::uint64_t end = CheckedRead(position_, count, bytes_.size());
    if (count > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(count));
    position_ = end;
  }

 private:
  std::string_view bytes_;
};

// A pack's file as a stream. Besides reads beyond the end, it refuses a
// read that would take its total past `limit` bytes, and one that finds
// fewer bytes than the file's size promised (as files of the kernel's own
// file systems do).
class CPackFileStream final : public CReadOnlyStream {
 public:
  // The regular file at `path`, or null when it is none, cannot be opened
  // or is larger than kMaxPackFileSize.
  static chf::TRef<chf::IStream> Open(const CString& path, std::uint64_t limit) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
        static_cast<std::uint64_t>(size.QuadPart) > kMaxPackFileSize) {
      CloseHandle(file);
      return {};
    }
    return chf::TRef<chf::IStream>::adopt(new CPackFileStream(file, static_cast<std::uint64_t>(size.QuadPart), limit));
  }

  std::uint64_t GetSize() override { return size_; }
  // Starts the read limit afresh, for another format's try at the same file.
  void Restart() {
    position_ = 0;
    taken_ = 0;
  }
  // Whether the file begins with `magic`; false too when it is shorter, or
  // holds less than its size says.
  bool StartsWith(std::string_view magic) {
    try {
      return size_ >= magic.size() && readHead() && std::string_view(head_).starts_with(magic);
    } catch (const std::out_of_range&) {
      return false;
    }
  }
  void Read(void* buffer, std::int32_t count) override {
    const std::uint64_t end = CheckedRead(position_, count, size_);
    if (static_cast<std::uint64_t>(count) > limit_ - taken_)
      throw std::out_of_range("a language pack's header takes more than a scan reads");
    // A read within the file's first bytes reads them all; what the head
    // holds of a longer read comes from it, and the rest from the file.
    if (end <= std::min(size_, kHeadBytes)) readHead();
    auto* out = static_cast<char*>(buffer);
    std::uint64_t from = position_;
    if (from < head_.size()) {
      const std::uint64_t held = std::min<std::uint64_t>(end, head_.size()) - from;
      std::memcpy(out, head_.data() + from, static_cast<std::size_t>(held));
      out += held;
      from += held;
    }
    if (from < end) readFile(out, from, end);
    position_ = end;
  }

 private:
  CPackFileStream(HANDLE file, std::uint64_t size, std::uint64_t limit) : file_(file), size_(size), limit_(limit) {}
  ~CPackFileStream() override { CloseHandle(file_); }

  // Reads the file's first bytes into head_ once, when the read limit allows.
  bool readHead() {
    if (!head_.empty()) return true;
    const std::uint64_t size = std::min(size_, kHeadBytes);
    if (size == 0 || size > limit_ - taken_) return false;
    std::string head(static_cast<std::size_t>(size), '\0');
    readFile(head.data(), 0, size);
    head_ = std::move(head);
    return true;
  }
  // Reads [position, end) of the file into `buffer`.
  void readFile(void* buffer, std::uint64_t position, std::uint64_t end) {
    if (position != filePosition_) {
      LARGE_INTEGER to{};
      to.QuadPart = static_cast<LONGLONG>(position);
      if (!SetFilePointerEx(file_, to, nullptr, FILE_BEGIN)) ReadBeyondEnd();
      filePosition_ = position;
    }
    for (auto* at = static_cast<char*>(buffer); filePosition_ < end;) {
      DWORD got = 0;
      if (!ReadFile(file_, at, static_cast<DWORD>(end - filePosition_), &got, nullptr) || got == 0) ReadBeyondEnd();
      at += got;
      filePosition_ += got;
      taken_ += got;
    }
  }

  HANDLE file_;
  std::uint64_t size_;
  std::uint64_t limit_;
  std::uint64_t taken_ = 0;
  std::uint64_t filePosition_ = 0;
  std::string head_;
};

// The little-endian 32-bit number at `p`.
std::uint32_t Little32(const char* p) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// A cursor over the little-endian fields of a range of a stream (clipped to
// the stream's end), read in pieces through a buffer, or over bytes in
// memory. Every read checks the range and fails without moving when the
// field does not fit. A view it gives stays valid until its next read.
class CFieldReader {
 public:
  // A stream's range is read in pieces of at least `piece` bytes.
  CFieldReader(chf::IStream& stream, std::uint64_t begin, std::uint64_t end, std::uint64_t piece = kReadPiece)
      : stream_(&stream), piece_(piece), position_(begin), end_(std::min(end, stream.GetSize())) {}
  explicit CFieldReader(std::string_view bytes) : window_(bytes), end_(bytes.size()) {}
  // A stream's window points into the reader's own buffer.
  CFieldReader(const CFieldReader&) = delete;
  CFieldReader& operator=(const CFieldReader&) = delete;

  std::uint64_t Position() const { return position_; }
  std::uint64_t Remaining() const { return end_ - std::min(position_, end_); }

  bool Bytes(std::uint64_t count, std::string_view& out) {
    if (Remaining() < count) return false;
    if (position_ < windowStart_ || position_ + count > windowStart_ + window_.size()) fill(count);
    // (The window holds the whole range now: no bounds to check again.)
    out = std::string_view(window_.data() + (position_ - windowStart_), static_cast<std::size_t>(count));
    position_ += count;
    return true;
  }
  bool Skip(std::uint64_t count) {
    if (Remaining() < count) return false;
    position_ += count;
    return true;
  }
  bool U32(std::uint32_t& value) {
    std::string_view field;
    if (!Bytes(4, field)) return false;
    value = Little32(field.data());
    return true;
  }
  // A 32-bit byte length and that many bytes, read or passed over.
  bool Counted(std::string_view& out) { return counted(&out); }
  bool SkipCounted() { return counted(nullptr); }

 private:
  bool counted(std::string_view* out) {
    std::uint32_t length = 0;
    const std::uint64_t start = position_;
    if (U32(length) && (out ? Bytes(length, *out) : Skip(length))) return true;
    position_ = start;
    return false;
  }
  // Reads from the position at least `count` bytes, a piece when the range
  // holds one. Only a stream's window moves: bytes in memory are all there.
  void fill(std::uint64_t count) {
    const std::uint64_t size = std::max(count, std::min(piece_, Remaining()));
    // The buffer is filled by the read, so it is not cleared first.
    window_ = {};
    if (size > capacity_) {
      buffer_ = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(size));
      capacity_ = size;
    }
    stream_->Seek(position_);
    stream_->Read(buffer_.get(), static_cast<std::int32_t>(size));
    window_ = std::string_view(buffer_.get(), static_cast<std::size_t>(size));
    windowStart_ = position_;
  }

  chf::IStream* stream_ = nullptr;
  std::uint64_t piece_ = kReadPiece;
  std::unique_ptr<char[]> buffer_;
  std::uint64_t capacity_ = 0;
  std::string_view window_;
  std::uint64_t windowStart_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t end_;
};

// How many of the first `count` UTF-16 units of `bytes` come before the
// first zero unit, or `count`. Four units a step: a unit is zero when both its
// bytes are, in either byte order, and a word holds a zero unit exactly when
// the borrow test below sets a flag.
std::size_t UnitsBeforeZero(const char* bytes, std::size_t count) {
  constexpr std::uint64_t kOnes = 0x0001000100010001ull;
  constexpr std::uint64_t kFlags = 0x8000800080008000ull;
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    std::uint64_t word;
    std::memcpy(&word, bytes + 2 * i, 8);
    if (((word - kOnes) & ~word & kFlags) != 0) break;
  }
  for (; i < count; ++i)
    if (bytes[2 * i] == 0 && bytes[2 * i + 1] == 0) return i;
  return count;
}

// Decodes `count` UTF-16LE units into `text`, which ends at the first zero
// unit among them; the units after it are not copied.
void DecodeWide(std::string_view bytes, std::size_t count, std::u16string& text) {
  count = UnitsBeforeZero(bytes.data(), count);
  text.resize(count);
  if constexpr (std::endian::native == std::endian::little) {
    if (count > 0) std::memcpy(text.data(), bytes.data(), 2 * count);
  } else {
    for (std::size_t i = 0; i < count; ++i)
      text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                      static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
}

// The text of a first-format counted string: "LANGPU16" texts are UTF-16LE,
// the others are in the ANSI code page, and either must end in a zero unit
// or reads as empty. The text ends at its first zero unit.
void Format1Text(std::string_view bytes, bool wide, std::u16string& text) {
  text.clear();
  if (wide) {
    if (bytes.size() % 2 == 0 && bytes[bytes.size() - 1] == '\0' && bytes[bytes.size() - 2] == '\0')
      DecodeWide(bytes, bytes.size() / 2 - 1, text);
    return;
  }
  if (bytes.back() != '\0') return;
  const int length = static_cast<int>(std::strlen(bytes.data()));
  if (length == 0) return;
  // Measured first, so that a text kept as decoded takes no more than it
  // holds (a multibyte character is one unit from several bytes).
  const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  text.resize(static_cast<std::size_t>(units));
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), units);
}

// A counted string decoded straight into `field`; a length of 0 leaves the
// field as it was.
bool ReadFormat1String(CFieldReader& reader, bool wide, std::u16string& field) {
  std::string_view bytes;
  if (!reader.Counted(bytes)) return false;
  if (!bytes.empty()) Format1Text(bytes, wide, field);
  return true;
}

// The same into a CString, which takes the decoded text over.
bool ReadFormat1String(CFieldReader& reader, bool wide, CString& field) {
  std::string_view bytes;
  if (!reader.Counted(bytes)) return false;
  if (!bytes.empty()) {
    std::u16string text;
    Format1Text(bytes, wide, text);
    field = CString(std::move(text));
  }
  return true;
}

// A sized entry of the first format's table (layout 1 and above): four
// counted strings (the key, the text and two that are not used), then its
// flags. Returns the flags, or 0 (an entry not stored) when the fields do not
// fit the entry's size.
std::uint32_t SplitSizedEntry(std::string_view body, std::string_view& key, std::string_view& text) {
  std::size_t at = 0;
  std::uint32_t value = 0;
  const auto number = [&] {
    if (body.size() - at < 4) return false;
    value = Little32(body.data() + at);
    at += 4;
    return true;
  };
  std::string_view strings[4];
  for (std::string_view& field : strings) {
    if (!number() || value > body.size() - at) return 0;
    field = body.substr(at, value);
    at += value;
  }
  key = strings[0];
  text = strings[1];
  return number() ? value : 0;
}

// A chunk-file string: a 32-bit count of UTF-16 units whose last one is the
// terminator, whatever it holds. A count of 0 is an absent string.
bool ReadChunkString(CFieldReader& reader, std::u16string& text, bool& present) {
  std::uint32_t count = 0;
  std::string_view bytes;
  if (!reader.U32(count) || !reader.Bytes(std::uint64_t{2} * count, bytes)) return false;
  present = count > 0;
  if (present) DecodeWide(bytes, count - 1, text);
  else text.clear();
  return true;
}

bool SkipChunkString(CFieldReader& reader) {
  std::uint32_t count = 0;
  return reader.U32(count) && reader.Skip(std::uint64_t{2} * count);
}

bool ReadChunkString(CFieldReader& reader, CString& text) {
  std::u16string value;
  bool present = false;
  if (!ReadChunkString(reader, value, present)) return false;
  text = CString(std::move(value));
  return true;
}

// A reader over the data of `sequence`'s current chunk, as far as the file
// holds it, and no more than `limit` bytes.
CFieldReader ChunkReader(chf::CChunkIterator& sequence, chf::IStream& file, std::uint64_t limit) {
  chf::TRef<chf::CChunkStream> chunk = chf::TRef<chf::CChunkStream>::adopt(sequence.OpenChunkStream());
  const std::uint64_t start = std::min(chunk->GetStart(), file.GetSize());
  return CFieldReader(file, start, start + std::min({chunk->GetSize(), limit, file.GetSize() - start}));
}

// Walks `sequence` from its beginning to the first chunk `id`; false when
// there is none, or when a chunk other than one with `mayPrecede` comes
// first (0: any chunk may). A chunk list that claims more than the file
// holds ends where the file does.
bool FindChunk(chf::CChunkIterator& sequence, std::uint32_t id, std::uint32_t mayPrecede = 0) {
  try {
    sequence.Rewind();
    while (sequence.Next()) {
      if (sequence.GetChunkId() == id) return true;
      if (mayPrecede != 0 && sequence.GetChunkId() != mayPrecede) return false;
    }
  } catch (const std::out_of_range&) {
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// CLangTag

CLangTag::CLangTag(std::u16string_view text) : name_(text) {
  if (text.empty()) return;
  std::size_t start = 0;
  while (partCount_ < kMaxParts) {
    const std::size_t dash = partCount_ + 1 < kMaxParts ? text.find(u'-', start) : std::u16string_view::npos;
    const std::size_t end = dash == std::u16string_view::npos ? text.size() : dash;
    partStart_[partCount_] = static_cast<std::uint32_t>(start);
    partLength_[partCount_] = static_cast<std::uint32_t>(end - start);
    ++partCount_;
    if (dash == std::u16string_view::npos) break;
    start = dash + 1;
  }
}

std::u16string_view CLangTag::Part(int index) const {
  return std::u16string_view(name_.str()).substr(partStart_[index], partLength_[index]);
}

int CLangTag::CountEqualParts(const CLangTag& other) const {
  int count = 0;
  while (count < partCount_ && count < other.partCount_ &&
         compat::win32::SameAsciiNoCase(Part(count), other.Part(count)))
    ++count;
  return count;
}

// ---------------------------------------------------------------------------
// CLangPack

CLangPack::CLangPack(const CString& path) : path_(path) {}
CLangPack::~CLangPack() = default;
int CLangPack::Format() const { return 1; }
bool CLangPack::IsReady() const { return ready_; }
bool CLangPack::IsWideText() const { return wideText_; }
const CString& CLangPack::HeaderString1() const { return header_[0]; }
const CString& CLangPack::HeaderString2() const { return header_[1]; }
const CString& CLangPack::HeaderString3() const { return header_[2]; }
const CLangTag& CLangPack::Tag() const { return tag_; }
const CString& CLangPack::HeaderString4() const { return header_[3]; }
const CString& CLangPack::FilePath() const { return path_; }
CString CLangPack::LanguageName() const { return tag_.IsEmpty() ? header_[2] : tag_.Name(); }

namespace {

// The key's length and its first, middle and last four code units, mixed by
// independent multiplications: dotted key names differ in one of those
// places, and equal hashes only cost a further probe.
std::uint64_t IndexHash(std::u16string_view key) {
  const std::size_t n = key.size();
  std::uint64_t first = 0, middle = 0, last = 0;
  if (n >= 4) {
    std::memcpy(&first, key.data(), 8);
    std::memcpy(&middle, key.data() + (n - 4) / 2, 8);
    std::memcpy(&last, key.data() + n - 4, 8);
  } else {
    for (std::size_t i = 0; i < n; ++i) first |= std::uint64_t{key[i]} << (16 * i);
    middle = last = first;
  }
  std::uint64_t h = (first * 0x9E3779B97F4A7C15ull) ^ (((middle << 21) | (middle >> 43)) * 0xC2B2AE3D27D4EB4Full) ^
                    (last * 0x165667B19E3779F9ull) ^ n;
  return h ^ (h >> 29);
}

}  // namespace

void CLangPack::buildIndex() {
  std::size_t slots = 8;
  while (slots < 2 * order_.size()) slots *= 2;
  index_.assign(slots, IndexSlot{});
  for (const LangPackStringTable::value_type* entry : order_) {
    const std::uint64_t h = entry->first.hash;
    std::size_t at = h & (slots - 1);
    while (index_[at].entry != nullptr) at = (at + 1) & (slots - 1);
    index_[at] = {static_cast<std::uint32_t>(h >> 32), static_cast<std::uint32_t>(entry->first.text.size()), entry};
  }
}

const CString* CLangPack::Lookup(std::u16string_view key) const {
  if (index_.empty()) return nullptr;
  const std::uint64_t h = IndexHash(key);
  const std::size_t mask = index_.size() - 1;
  for (std::size_t at = h & mask;; at = (at + 1) & mask) {
    const IndexSlot& slot = index_[at];
    if (slot.entry == nullptr) return nullptr;
    if (slot.check == static_cast<std::uint32_t>(h >> 32) && slot.length == key.size() &&
        std::memcmp(slot.entry->first.text.data(), key.data(), 2 * key.size()) == 0) {
      return &slot.entry->second;
    }
  }
}

CLangPack::HeaderResult CLangPack::ReadHeader() { return read(false); }

bool CLangPack::Load() {
  ready_ = read(true) == HeaderResult::kRead;
  if (ready_) buildIndex();
  if (!ready_) clearTable();
  return ready_;
}

void CLangPack::clearTable() {
  index_.clear();
  order_.clear();
  // The old table goes before its arena: even cleared, it keeps its buckets there.
  LangPackStringTable(&arena_).swap(strings_);
  arena_.release();
}

void CLangPack::reserve(std::size_t count) {
  strings_.reserve(count);
  order_.reserve(count);
}

void CLangPack::store(std::u16string_view key, CString text) {
  // try_emplace leaves `text` alone when the key is there already.
  const auto [entry, added] = strings_.try_emplace(LangPackKey(key, &arena_, IndexHash(key)), std::move(text));
  if (added) order_.push_back(&*entry);
  else entry->second = std::move(text);
}

CLangPack::HeaderResult CLangPack::read(bool withTable) {
  chf::TRef<chf::IStream> file =
      CPackFileStream::Open(path_, withTable ? std::numeric_limits<std::uint64_t>::max() : kScanReadLimit);
  if (!file) return HeaderResult::kNotThisFormat;
  return parseAny(*file, withTable);
}

CLangPack::HeaderResult CLangPack::parseAny(chf::IStream& stream, bool withTable) {
  try {
    stream.Seek(0);
    return Format() == 2 ? static_cast<CLangPack2*>(this)->parse(stream, withTable) : parse(stream, withTable);
  } catch (const std::out_of_range&) {
    // The file holds less than its size says, or the header takes more than a scan reads.
    return HeaderResult::kNotThisFormat;
  }
}

CLangPack::HeaderResult CLangPack::parse(chf::IStream& stream, bool withTable) {
  // A scan reads the header only: its pieces are no larger than the file's
  // first bytes, which the stream keeps.
  CFieldReader reader(stream, 0, stream.GetSize(), withTable ? kReadPiece : kHeadBytes);
  std::string_view magic;
  if (!reader.Bytes(8, magic) || (magic != kMagicAnsi && magic != kMagicAnsi2 && magic != kMagicWide))
    return HeaderResult::kNotThisFormat;
  wideText_ = magic == kMagicWide;
  std::uint32_t version = 0;
  std::uint32_t layout = 0;
  if (magic != kMagicAnsi && !(reader.U32(version) && reader.U32(layout))) return HeaderResult::kInvalid;
  std::uint32_t headerSize = 0;
  if (!reader.U32(headerSize) || version > 1 || headerSize > kMaxHeaderSize) return HeaderResult::kInvalid;
  version_ = version;
  layout_ = layout;
  // The header's strings must lie within its stated size.
  std::string_view headerBytes;
  if (!reader.Bytes(headerSize, headerBytes)) return HeaderResult::kInvalid;
  CFieldReader header(headerBytes);
  for (CString& field : header_)
    if (!ReadFormat1String(header, wideText_, field)) return HeaderResult::kInvalid;
  if (!withTable) return HeaderResult::kRead;

  clearTable();
  std::uint32_t count = 0;
  if (!reader.U32(count)) return HeaderResult::kRead;
  // Each entry takes at least 16 bytes: reserve no more than the file holds.
  reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, reader.Remaining() / 16)));
  const auto readEntry = [this](CFieldReader& entry, std::u16string& key, CString& text) {
    return ReadFormat1String(entry, wideText_, key) && ReadFormat1String(entry, wideText_, text) &&
           entry.SkipCounted() && entry.SkipCounted();
  };
  std::u16string key;
  for (std::uint32_t i = 0; i < count; ++i) {
    // Each entry starts with empty fields.
    key.clear();
    CString text;
    if (layout_ == 0) {
      if (!readEntry(reader, key, text)) break;
      store(key, std::move(text));
      continue;
    }
    // Layout 1 and above: a sized entry whose flags follow its strings. An
    // entry whose fields do not fit its own size is skipped.
    std::uint32_t size = 0;
    std::string_view body;
    if (!reader.U32(size) || !reader.Bytes(size, body)) break;
    std::string_view keyBytes, textBytes;
    if ((SplitSizedEntry(body, keyBytes, textBytes) & kEntryStored) == 0) continue;
    if (!keyBytes.empty()) Format1Text(keyBytes, wideText_, key);
    if (!textBytes.empty()) {
      std::u16string decoded;
      Format1Text(textBytes, wideText_, decoded);
      text = CString(std::move(decoded));
    }
    store(key, std::move(text));
  }
  return HeaderResult::kRead;
}

// ---------------------------------------------------------------------------
// CLangPack2

CLangPack2::CLangPack2(const CString& path) : CLangPack(path) { wideText_ = true; }
CLangPack2::~CLangPack2() = default;
int CLangPack2::Format() const { return 2; }

CLangPack::HeaderResult CLangPack2::parse(chf::IStream& stream, bool withTable) {
  try {
    chf::TRef<chf::CChunkFile> root = chf::TRef<chf::CChunkFile>::adopt(chf::OpenChunkFile(&stream));
    if (std::string_view(root->GetType()) != kChunkFileType) return HeaderResult::kNotThisFormat;
    if (!FindChunk(*root, chf::ChunkId("lang"), chf::ChunkId("RSID"))) return HeaderResult::kNotThisFormat;
    // Strings that run past their chunk end its reading: what was read stays.
    CString tag;
    CFieldReader lang = ChunkReader(*root, stream, kMaxHeaderSize);
    if (ReadChunkString(lang, tag)) ReadChunkString(lang, header_[2]);
    tag_ = CLangTag(tag.str());
    if (FindChunk(*root, chf::ChunkId("apid"))) {
      CFieldReader apid = ChunkReader(*root, stream, kMaxHeaderSize);
      if (ReadChunkString(apid, header_[0])) ReadChunkString(apid, header_[1]);
    }
    if (FindChunk(*root, chf::ChunkId("cmnt"))) {
      CFieldReader comment = ChunkReader(*root, stream, kMaxHeaderSize);
      ReadChunkString(comment, header_[3]);
    }
    if (!withTable) return HeaderResult::kRead;

    clearTable();
    if (!FindChunk(*root, chf::ChunkId("STMP"))) return HeaderResult::kRead;
    chf::TRef<chf::CChunkIterator> table = chf::TRef<chf::CChunkIterator>::adopt(root->OpenChunkIterator());
    if (!FindChunk(*table, chf::ChunkId("data"))) return HeaderResult::kRead;
    CFieldReader data = ChunkReader(*table, stream, std::numeric_limits<std::uint64_t>::max());
    std::uint32_t count = 0;
    if (!data.U32(count)) return HeaderResult::kRead;
    // Each entry takes at least 20 bytes: reserve no more than the file holds.
    reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, data.Remaining() / 20)));
    std::u16string key;
    for (std::uint32_t i = 0; i < count; ++i) {
      // The text is decoded into a string of its own, which the table takes over.
      std::u16string text;
      std::uint32_t value = 0;
      bool hasKey = false, hasText = false;
      if (!data.U32(value) || !ReadChunkString(data, key, hasKey) || !ReadChunkString(data, text, hasText) ||
          !SkipChunkString(data) || !SkipChunkString(data))
        break;
      if (hasText) store(key, CString(std::move(text)));
    }
    return HeaderResult::kRead;
  } catch (const std::out_of_range&) {
    // A file too short for its own chunk headers.
    return HeaderResult::kNotThisFormat;
  }
}

// ---------------------------------------------------------------------------

std::unique_ptr<CLangPack> OpenLangPack(const CString& path) {
  // One open of the file serves both formats' tries: a scan of the folder
  // at start-up opens every pack there.
  chf::TRef<chf::IStream> file = CPackFileStream::Open(path, kScanReadLimit);
  if (!file) return nullptr;
  auto& packFile = static_cast<CPackFileStream&>(*file);
  // A chunk file names its type first, and no first-format magic is that
  // type: such a file skips the first format's try, which would read a
  // piece of the whole file to find the magic wrong.
  std::unique_ptr<CLangPack> pack;
  if (!packFile.StartsWith(kChunkFileType)) {
    pack = std::make_unique<CLangPack>(path);
    switch (pack->parseAny(*file, false)) {
      case CLangPack::HeaderResult::kRead: return pack;
      case CLangPack::HeaderResult::kInvalid: return nullptr;
      case CLangPack::HeaderResult::kNotThisFormat: break;
    }
  }
  packFile.Restart();
  pack = std::make_unique<CLangPack2>(path);
  if (pack->parseAny(*file, false) == CLangPack::HeaderResult::kRead) return pack;
  return nullptr;
}

std::unique_ptr<CLangPack> ReadLangPackBytes(std::string_view bytes) {
  chf::TRef<chf::IStream> stream = chf::TRef<chf::IStream>::adopt(new CByteStream(bytes));
  auto pack = std::make_unique<CLangPack>(CString());
  CLangPack::HeaderResult result = pack->parseAny(*stream, true);
  if (result == CLangPack::HeaderResult::kNotThisFormat) {
    auto pack2 = std::make_unique<CLangPack2>(CString());
    result = pack2->parseAny(*stream, true);
    pack = std::move(pack2);
  }
  if (result != CLangPack::HeaderResult::kRead) return nullptr;
  pack->ready_ = true;
  pack->buildIndex();
  return pack;
}

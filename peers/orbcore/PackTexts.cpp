// Reading language pack files: little-endian counts, UTF-16 texts.
#include "peers/orbcore/PackTexts.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "compat/win32/StringConv.h"

namespace orbcore {

namespace {

constexpr std::string_view kEngineKeys = "Orbcore.";

// A cursor over the file's bytes that never reads past `end`.
class Bytes {
 public:
  Bytes(const std::string& data, std::size_t start, std::size_t end) : data_(&data), at_(start), end_(end) {}

  std::optional<std::uint64_t> Number(std::size_t size) {
    if (end_ - at_ < size) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value |= std::uint64_t{static_cast<unsigned char>((*data_)[at_ + i])} << (8 * i);
    at_ += size;
    return value;
  }

  // `units` UTF-16 code units, up to the first zero.
  std::optional<std::string> Utf16(std::uint64_t units) {
    if ((end_ - at_) / 2 < units) return std::nullopt;
    std::u16string text;
    for (std::uint64_t i = 0; i < units; ++i) {
      const auto unit = static_cast<char16_t>(static_cast<unsigned char>((*data_)[at_ + 2 * i]) |
                                              static_cast<unsigned char>((*data_)[at_ + 2 * i + 1]) << 8);
      if (unit == 0) break;
      text.push_back(unit);
    }
    at_ += static_cast<std::size_t>(units) * 2;
    return compat::win32::Utf16ToUtf8(text);
  }

  bool Skip(std::uint64_t bytes) {
    if (end_ - at_ < bytes) return false;
    at_ += static_cast<std::size_t>(bytes);
    return true;
  }

  std::size_t at() const { return at_; }
  std::size_t end() const { return end_; }

 private:
  const std::string* data_;
  std::size_t at_;
  std::size_t end_;
};

void Keep(EngineTexts& texts, const std::string& key, const std::string& text) {
  if (key.starts_with(kEngineKeys) && !text.empty()) texts.Set(key, text);
}

// A 32-bit byte count and that many bytes of UTF-16 text.
std::optional<std::string> CountedText(Bytes& in) {
  const auto bytes = in.Number(4);
  if (!bytes) return std::nullopt;
  std::optional<std::string> text = in.Utf16(*bytes / 2);
  if (text && !in.Skip(*bytes % 2)) return std::nullopt;
  return text;
}

// "LANGPU16": version, table layout, a header of counted strings, then the
// entries: key, text and two unused strings, from layout 1 inside a size
// and followed by a flags word whose bit 0 says the entry is stored.
bool ReadTablePack(const std::string& data, EngineTexts& texts) {
  Bytes in(data, 8, data.size());
  const auto version = in.Number(4), layout = in.Number(4), headerSize = in.Number(4);
  if (!version || *version > 1 || !layout || !headerSize || !in.Skip(*headerSize)) return false;
  const auto count = in.Number(4);
  for (std::uint64_t i = 0; count && i < *count; ++i) {
    std::size_t entryEnd = data.size();
    if (*layout >= 1) {
      const auto size = in.Number(4);
      if (!size || *size > in.end() - in.at()) break;
      entryEnd = in.at() + static_cast<std::size_t>(*size);
    }
    Bytes entry(data, in.at(), entryEnd);
    const auto key = CountedText(entry);
    const auto text = key ? CountedText(entry) : std::nullopt;
    if (!text || !CountedText(entry) || !CountedText(entry)) break;
    bool stored = true;
    if (*layout >= 1) {
      const auto flags = entry.Number(4);
      stored = flags && (*flags & 1) != 0;
    } else {
      entryEnd = entry.at();
    }
    if (stored) Keep(texts, *key, *text);
    in = Bytes(data, entryEnd, data.size());
  }
  return true;
}

// The data of the first chunk `id` in [start, end), as its bounds.
std::optional<std::pair<std::size_t, std::size_t>> FindChunk(const std::string& data, std::size_t start,
                                                             std::size_t end, std::string_view id) {
  Bytes in(data, start, end);
  while (in.end() - in.at() >= 12) {
    const std::string name = data.substr(in.at(), 4);
    in.Skip(4);
    const auto size = in.Number(8);
    if (!size || *size > in.end() - in.at()) return std::nullopt;
    if (name == id) return std::pair{in.at(), in.at() + static_cast<std::size_t>(*size)};
    in.Skip(*size);
  }
  return std::nullopt;
}

// "URESFILE": the chunk "STMP" holds "data": a count, then per entry a
// number and four strings (key, text and two unused), each a count of UTF-16
// units with its terminator.
bool ReadChunkPack(const std::string& data, EngineTexts& texts) {
  Bytes header(data, 8, data.size());
  const auto bodySize = header.Number(8);
  if (!bodySize || *bodySize > data.size() - 16) return false;
  const auto table = FindChunk(data, 16, 16 + static_cast<std::size_t>(*bodySize), "STMP");
  if (!table) return true;
  const auto entries = FindChunk(data, table->first, table->second, "data");
  if (!entries) return true;
  Bytes in(data, entries->first, entries->second);
  const auto count = in.Number(4);
  for (std::uint64_t i = 0; count && i < *count; ++i) {
    std::string strings[4];
    if (!in.Number(4)) break;
    for (std::string& text : strings) {
      const auto units = in.Number(4);
      const auto read = units ? in.Utf16(*units) : std::nullopt;
      if (!read) return true;
      text = *read;
    }
    Keep(texts, strings[0], strings[1]);
  }
  return true;
}

}  // namespace

bool LoadPackTexts(const std::string& packPath, EngineTexts& texts) {
  std::ifstream file(packPath, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (data.size() < 16) return false;
  if (data.compare(0, 8, "LANGPU16") == 0) return ReadTablePack(data, texts);
  if (data.compare(0, 8, "URESFILE") == 0) return ReadChunkPack(data, texts);
  return false;
}

}  // namespace orbcore

// Language pack files spelled out field by field, for the reader tests and
// the benchmarks: little-endian fields, counted strings of both formats,
// chunks. Nothing here checks that the result is a valid pack.
//
//   PackBytes pack;
//   pack.Raw("LANGPU16").U32(1).U32(0).U32(header.Size()).Append(header);
//   PackBytes::Chunk("lang", PackBytes().ChunkText(u"de-de").ChunkText(u"Deutsch"));
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "compat/win32/StringConv.h"

class PackBytes {
 public:
  const std::string& Str() const { return bytes_; }
  std::uint32_t Size() const { return static_cast<std::uint32_t>(bytes_.size()); }

  PackBytes& Raw(std::string_view bytes) {
    bytes_ += bytes;
    return *this;
  }
  PackBytes& Append(const PackBytes& other) { return Raw(other.bytes_); }
  PackBytes& U32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes_ += static_cast<char>(value >> shift & 0xFF);
    return *this;
  }
  PackBytes& Unit(char16_t unit) {
    bytes_ += static_cast<char>(unit & 0xFF);
    bytes_ += static_cast<char>(unit >> 8);
    return *this;
  }
  // A first-format counted string: the byte length, then the bytes.
  PackBytes& Counted(std::string_view bytes) { return U32(static_cast<std::uint32_t>(bytes.size())).Raw(bytes); }
  // ANSI text with its terminating zero byte.
  PackBytes& Ansi(std::string_view text) { return Counted(std::string(text) + '\0'); }
  // UTF-16LE text, with its terminating zero unit unless `terminated` is false.
  PackBytes& Wide(std::u16string_view text, bool terminated = true) {
    U32(static_cast<std::uint32_t>(2 * (text.size() + (terminated ? 1 : 0))));
    for (char16_t unit : text) Unit(unit);
    return terminated ? Unit(0) : *this;
  }
  // A first-format text: UTF-16LE for "LANGPU16" packs, else ANSI (UTF-8).
  PackBytes& Text1(bool wide, std::u16string_view text) {
    return wide ? Wide(text) : Ansi(compat::win32::Utf16ToUtf8(text));
  }
  // A chunk-file string: the unit count including the terminator.
  PackBytes& ChunkText(std::u16string_view text) {
    U32(static_cast<std::uint32_t>(text.size() + 1));
    for (char16_t unit : text) Unit(unit);
    return Unit(0);
  }

  static PackBytes Chunk(std::string_view id, const PackBytes& data) {
    PackBytes chunk;
    chunk.Raw(id).U32(data.Size()).U32(0).Append(data);
    return chunk;
  }
  // A chunk file: the eight tag bytes, the body size, the body.
  static PackBytes ChunkFile(std::string_view tag, const PackBytes& body) {
    PackBytes file;
    file.Raw(tag).U32(body.Size()).U32(0).Append(body);
    return file;
  }

 private:
  std::string bytes_;
};

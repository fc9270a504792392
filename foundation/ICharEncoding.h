// Character encodings: how code points are written to and read from the
// bytes of a string, forwards and (where the encoding allows it) backwards.
//
//   const lumo::P<lumo::ICharEncoding>& utf8 = lumo::GetUTF8CharEncoding();
//   lumo::CodePoint c;
//   for (std::int32_t at = 0; (at = utf8->decodeNextChar(c, bytes, size, at)) >= 0;) use(c);
//
// Buffers are bytes with a size; offsets and results are byte offsets; -1
// means there is no such character (end reached, no room, invalid data).
// UTF-16 and UTF-32 units are little-endian. No byte-order mark is special.
// Strict operations read exactly one character where they are told; lenient
// ones skip bytes that start no valid character.
#pragma once

#include <cstdint>

#include "foundation/IBase.h"
#include "foundation/Pointer.h"

namespace lumo {

// Four ASCII characters, the first in the lowest byte.
constexpr std::uint32_t EncodingId(const char (&name)[5]) {
  return std::uint32_t(std::uint8_t(name[0])) | std::uint32_t(std::uint8_t(name[1])) << 8 |
         std::uint32_t(std::uint8_t(name[2])) << 16 | std::uint32_t(std::uint8_t(name[3])) << 24;
}
inline constexpr std::uint32_t kLatin1EncodingId = EncodingId("LAT1");
inline constexpr std::uint32_t kUTF8EncodingId = EncodingId("UTF8");
inline constexpr std::uint32_t kUTF16EncodingId = EncodingId("UF16");
inline constexpr std::uint32_t kUTF32EncodingId = EncodingId("UF32");
inline constexpr std::uint32_t kCodePageEncodingId = EncodingId("CDPG");

class ICharEncoding : public virtual IBase {
 public:
  virtual std::uint32_t getId() const = 0;
  virtual const char* getName() const = 0;
  virtual std::int32_t getMaxCharSize() const = 0;

  // Writes `c` at `offset`; returns the offset behind it, or `offset` itself
  // when there is no room or `c` cannot be encoded.
  virtual std::int32_t encodeChar(CodePoint c, std::uint8_t* buffer, std::int32_t size,
                                  std::int32_t offset) const = 0;
  // Bytes `c` needs; 0 when it cannot be encoded.
  virtual std::int32_t getEncodedSize(CodePoint c) const = 0;
  // Bytes of the character at `offset`, or -1 when none starts exactly there.
  virtual std::int32_t getCharSizeAt(const std::uint8_t* buffer, std::int32_t size,
                                     std::int32_t offset) const = 0;
  // Characters from `offset` to the end; bytes that start none are not counted.
  virtual std::int32_t countChars(const std::uint8_t* buffer, std::int32_t size,
                                  std::int32_t offset) const = 0;
  // Bytes before the terminating NUL character.
  virtual std::int32_t getTerminatedSize(const std::uint8_t* text) const = 0;
  // Offset of character number `index`; `index` equal to the count gives the
  // end; -1 beyond it.
  virtual std::int32_t getCharOffset(const std::uint8_t* buffer, std::int32_t size,
                                     std::int32_t index) const = 0;
  // First offset at or after `offset` where a valid character starts.
  virtual std::int32_t findCharStart(const std::uint8_t* buffer, std::int32_t size,
                                     std::int32_t offset) const = 0;
  // Strict: the character starting exactly at `offset`; returns the offset behind it.
  virtual std::int32_t decodeCharAt(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                                    std::int32_t offset) const = 0;
  // Lenient: the first valid character at or after `offset`.
  virtual std::int32_t decodeNextChar(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                                      std::int32_t offset) const = 0;
  virtual bool canDecodeBackwards() const = 0;
  // Start of the last valid character that begins before `offset`.
  virtual std::int32_t findPreviousCharStart(const std::uint8_t* buffer, std::int32_t size,
                                             std::int32_t offset) const = 0;
  // Strict: the character ending exactly at `offset`; returns its start.
  virtual std::int32_t decodePreviousCharAt(CodePoint& c, const std::uint8_t* buffer,
                                            std::int32_t size, std::int32_t offset) const = 0;
  // Lenient: the nearest valid character before `offset`; returns its start.
  virtual std::int32_t decodePreviousChar(CodePoint& c, const std::uint8_t* buffer,
                                          std::int32_t size, std::int32_t offset) const = 0;
  // Up to `maxCount` characters forwards as decodeNextChar reads them, with
  // their start offsets when `starts` is given. Returns the offset behind the
  // last one decoded (`offset` when none was).
  virtual std::int32_t decodeChars(CodePoint* chars, std::int32_t maxCount, std::int32_t& count,
                                   const std::uint8_t* buffer, std::int32_t size,
                                   std::int32_t offset, std::int32_t* starts) const = 0;
  // The same backwards with decodePreviousChar. Returns the start of the last
  // one decoded (`offset` when none was).
  virtual std::int32_t decodeCharsBackwards(CodePoint* chars, std::int32_t maxCount,
                                            std::int32_t& count, const std::uint8_t* buffer,
                                            std::int32_t size, std::int32_t offset,
                                            std::int32_t* starts) const = 0;
};

// The five encodings, one instance each per process.
const P<ICharEncoding>& GetLatin1CharEncoding();
const P<ICharEncoding>& GetUTF8CharEncoding();
const P<ICharEncoding>& GetUTF16CharEncoding();
const P<ICharEncoding>& GetUTF32CharEncoding();
// The multibyte code page of the calling thread's C locale, limited to
// 16-bit characters. It cannot walk backwards: those operations raise
// CMethodNotImplementedError.
const P<ICharEncoding>& GetCPCharEncoding();

}  // namespace lumo

// Drives the encodings' decoders over arbitrary bytes, and over mostly valid
// UTF-8 and UTF-16 text built from them, where the block decoder and the
// counter take their fast paths. Every walk must stay inside the buffer (the
// input is an exactly sized allocation) and the ways of walking must agree
// with lenient single steps: blocks of several sizes with and without start
// offsets from several starting points, counting, character offsets, and
// backwards from the end.

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "foundation/ICharEncoding.h"

namespace {

using lumo::CodePoint;
using lumo::ICharEncoding;

void Check(bool condition, const char* what, const ICharEncoding& encoding) {
  if (!condition) {
    std::fprintf(stderr, "%s: %s\n", encoding.getName(), what);
    std::abort();
  }
}

struct Walk {
  std::vector<CodePoint> chars;
  std::vector<std::int32_t> starts;
  std::vector<std::int32_t> ends;
};

Walk StepForwards(const ICharEncoding& encoding, const std::uint8_t* data, std::int32_t size, std::int32_t from) {
  Walk walk;
  CodePoint c = 0;
  for (std::int32_t at = from;;) {
    const std::int32_t start = encoding.findCharStart(data, size, at);
    const std::int32_t end = encoding.decodeNextChar(c, data, size, at);
    Check((start < 0) == (end < 0), "findCharStart and decodeNextChar disagree", encoding);
    if (end < 0) break;
    Check(start >= at && end > start && end <= size, "character outside the buffer", encoding);
    CodePoint strict = 0;
    Check(encoding.decodeCharAt(strict, data, size, start) == end && strict == c, "strict read differs",
          encoding);
    Check(encoding.getCharSizeAt(data, size, start) == end - start, "character size differs", encoding);
    walk.chars.push_back(c);
    walk.starts.push_back(start);
    walk.ends.push_back(end);
    at = end;
  }
  return walk;
}

void CheckBlocks(const ICharEncoding& encoding, const std::uint8_t* data, std::int32_t size, std::int32_t from,
                 const Walk& walk, std::int32_t block, bool withStarts) {
  std::vector<CodePoint> chars(static_cast<std::size_t>(block));
  std::vector<std::int32_t> starts(static_cast<std::size_t>(block));
  std::size_t seen = 0;
  for (std::int32_t at = from, count = 1; count > 0;) {
    at = encoding.decodeChars(chars.data(), block, count, data, size, at, withStarts ? starts.data() : nullptr);
    for (std::int32_t i = 0; i < count; ++i, ++seen) {
      Check(seen < walk.chars.size() && chars[static_cast<std::size_t>(i)] == walk.chars[seen],
            "block decoding differs", encoding);
      Check(!withStarts || starts[static_cast<std::size_t>(i)] == walk.starts[seen], "block start differs",
            encoding);
    }
    if (count > 0) Check(at == walk.ends[seen - 1], "block end differs", encoding);
  }
  Check(seen == walk.chars.size(), "block decoding stopped early", encoding);
}

void CheckBackwards(const ICharEncoding& encoding, const std::uint8_t* data, std::int32_t size, const Walk& walk) {
  for (std::size_t i = 0; i < walk.chars.size(); ++i) {
    CodePoint c = 0;
    Check(encoding.decodePreviousCharAt(c, data, size, walk.ends[i]) == walk.starts[i] && c == walk.chars[i],
          "strict backwards read differs", encoding);
  }
  if (walk.chars.empty()) return;
  std::size_t left = walk.chars.size();
  CodePoint chars[7];
  std::int32_t starts[7];
  for (std::int32_t at = walk.ends.back(), count = 1; count > 0;) {
    at = encoding.decodeCharsBackwards(chars, 7, count, data, size, at, starts);
    for (std::int32_t i = 0; i < count; ++i) {
      Check(left > 0, "backwards walk finds more characters", encoding);
      --left;
      Check(chars[i] == walk.chars[left] && starts[i] == walk.starts[left], "backwards walk differs", encoding);
    }
  }
  Check(left == 0, "backwards walk finds fewer characters", encoding);
}

// Blocks and counts from `from`, a block size of `block`, against single steps.
void CheckFrom(const ICharEncoding& encoding, const std::uint8_t* data, std::int32_t size, std::int32_t from,
               std::int32_t block) {
  const Walk walk = StepForwards(encoding, data, size, from);
  Check(encoding.countChars(data, size, from) == static_cast<std::int32_t>(walk.chars.size()),
        "countChars from an offset differs", encoding);
  CheckBlocks(encoding, data, size, from, walk, block, true);
  CheckBlocks(encoding, data, size, from, walk, block + 11, false);
}

void CheckEncoding(const ICharEncoding& encoding, const std::uint8_t* data, std::int32_t size) {
  const Walk walk = StepForwards(encoding, data, size, 0);
  const auto count = static_cast<std::int32_t>(walk.chars.size());
  Check(encoding.countChars(data, size, 0) == count, "countChars differs", encoding);
  CheckBlocks(encoding, data, size, 0, walk, 16, false);
  CheckBlocks(encoding, data, size, 0, walk, 5, true);
  if (encoding.getId() != lumo::kUTF32EncodingId && encoding.getId() != lumo::kLatin1EncodingId) {
    for (std::int32_t index = 0; index <= count; ++index) {
      const std::int32_t expected = index == 0 ? 0 : walk.ends[static_cast<std::size_t>(index - 1)];
      Check(encoding.getCharOffset(data, size, index) == expected, "getCharOffset differs", encoding);
    }
    Check(encoding.getCharOffset(data, size, count + 1) == -1, "getCharOffset beyond the end", encoding);
  }
  if (encoding.canDecodeBackwards()) CheckBackwards(encoding, data, size, walk);
}

// Text for `encoding` in which most characters are valid: each input byte
// picks an ASCII character, a code point made of the three bytes after it
// (below 0x800, below 0x10000 or anywhere, so that every length occurs), the
// same with one of its bytes replaced by the next input byte, or the next
// byte copied as it is; the last two break the text there.
std::vector<std::uint8_t> MostlyValid(const ICharEncoding& encoding, const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> text;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t pick = data[i];
    if (pick >= 0xF0) {
      if (i + 1 < size) text.push_back(data[++i]);
      continue;
    }
    CodePoint c = pick;
    if (pick >= 0x80) {
      if (i + 3 >= size) break;
      c = static_cast<CodePoint>(data[i + 1]) | static_cast<CodePoint>(data[i + 2]) << 8 |
          static_cast<CodePoint>(data[i + 3]) << 16;
      c %= pick < 0xB0 ? 0x800 : pick < 0xD0 ? 0x10000 : 0x110000;
      i += 3;
    }
    std::uint8_t buffer[4];
    const std::int32_t written = encoding.encodeChar(c, buffer, 4, 0);
    if (pick >= 0xE0 && written > 0 && i + 1 < size) buffer[pick % written] = data[++i];
    text.insert(text.end(), buffer, buffer + written);
  }
  return text;
}

// What a Unicode encoding writes it reads back.
void CheckRoundTrips(const std::uint8_t* data, std::int32_t size) {
  const ICharEncoding* unicode[] = {lumo::GetUTF8CharEncoding().get(), lumo::GetUTF16CharEncoding().get(),
                                    lumo::GetUTF32CharEncoding().get()};
  for (std::int32_t at = 0; at + 4 <= size; at += 4) {
    const CodePoint c = static_cast<CodePoint>(data[at]) | static_cast<CodePoint>(data[at + 1]) << 8 |
                        static_cast<CodePoint>(data[at + 2] & 0x1F) << 16;
    for (const ICharEncoding* encoding : unicode) {
      std::uint8_t buffer[4];
      const std::int32_t written = encoding->encodeChar(c, buffer, 4, 0);
      Check(written == encoding->getEncodedSize(c), "encoded size differs", *encoding);
      if (written == 0) continue;
      CodePoint back = 0;
      Check(encoding->decodeCharAt(back, buffer, written, 0) == written && back == c, "round trip differs",
            *encoding);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The code page follows the locale; walk it as UTF-8, the usual one.
  std::setlocale(LC_ALL, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 16) return 0;
  const auto length = static_cast<std::int32_t>(size);
  const ICharEncoding* encodings[] = {lumo::GetLatin1CharEncoding().get(), lumo::GetUTF8CharEncoding().get(),
                                      lumo::GetUTF16CharEncoding().get(), lumo::GetUTF32CharEncoding().get(),
                                      lumo::GetCPCharEncoding().get()};
  for (const ICharEncoding* encoding : encodings) CheckEncoding(*encoding, data, length);
  CheckRoundTrips(data, length);
  // Starting points and block sizes from the first bytes, for mostly valid
  // text and for the raw bytes.
  const std::int32_t block = size > 0 ? 1 + data[0] % 37 : 16;
  for (const ICharEncoding* unicode : {lumo::GetUTF8CharEncoding().get(), lumo::GetUTF16CharEncoding().get()}) {
    // Copied into an exactly sized allocation, so that reading past its end is caught.
    const std::vector<std::uint8_t> built = MostlyValid(*unicode, data, size);
    const std::vector<std::uint8_t> text(built.begin(), built.end());
    const auto textLength = static_cast<std::int32_t>(text.size());
    CheckEncoding(*unicode, text.data(), textLength);
    for (const std::int32_t from : {1, 3, size > 1 ? data[1] : 7}) {
      if (from < textLength) CheckFrom(*unicode, text.data(), textLength, from, block);
      if (from < length) CheckFrom(*unicode, data, length, from, block);
    }
  }
  return 0;
}

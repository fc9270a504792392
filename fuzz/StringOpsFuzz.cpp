// Checks the string family's searches, counts, replacements, comparisons,
// case mapping and hash codes against a plain model over std::u32string. The
// input picks a few code points (ASCII, Latin-1, Greek, CJK, astral, case
// pairs and the odd members of the case table), builds a text, a text to
// look for and a replacement from them, puts each in one of the five
// encodings (copied, borrowed from an exactly sized buffer, or as a slice of
// a longer string) and gives the other texts in every form they can take:
// char16_t text, char text and IString.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/CString.h"
#include "foundation/CaseTable.h"
#include "foundation/Exception.h"

namespace {

using lumo::CodePoint;
using lumo::IString;
using lumo::String;
using lumo::StringPosition;
using Text = std::u32string;

constexpr std::size_t kNowhere = Text::npos;

enum class Form { kLatin1, kUTF8, kUTF16, kUTF32, kCodePage };

const lumo::ICharEncoding& EncodingOf(Form form) {
  switch (form) {
    case Form::kLatin1: return *lumo::GetLatin1CharEncoding();
    case Form::kUTF8: return *lumo::GetUTF8CharEncoding();
    case Form::kUTF16: return *lumo::GetUTF16CharEncoding();
    case Form::kUTF32: return *lumo::GetUTF32CharEncoding();
    case Form::kCodePage: break;
  }
  return *lumo::GetCPCharEncoding();
}

// Latin-1 holds up to 0xFF (it would write "?" for the rest); the code page
// holds what it can encode.
bool Fits(Form form, const Text& text) {
  for (const char32_t c : text) {
    if (form == Form::kLatin1 ? c > 0xFF : EncodingOf(form).getEncodedSize(c) == 0) return false;
  }
  return true;
}

// A text in a string object, with the byte offset of each character and of
// the end.
struct Subject {
  Text text;
  Form form = Form::kUTF8;
  std::unique_ptr<std::uint8_t[]> borrowed;
  String string;
  std::vector<std::int32_t> offsets;

  StringPosition at(std::size_t index) const {
    if (index == kNowhere || index >= offsets.size()) return StringPosition::none();
    return {static_cast<std::int32_t>(index), offsets[index]};
  }
};

std::string Show(const Text& text) {
  std::string shown;
  char hex[12];
  for (const char32_t c : text) {
    std::snprintf(hex, sizeof hex, shown.empty() ? "%X" : " %X", static_cast<unsigned>(c));
    shown += hex;
  }
  return shown;
}

// --- the model ---

Text Folded(Text text, bool noCase) {
  if (noCase) {
    for (char32_t& c : text) c = lumo::ToLowerCase(c);
  }
  return text;
}

// An empty text is found nowhere.
std::size_t Find(const Text& text, const Text& needle, std::size_t from) {
  return needle.empty() ? kNowhere : text.find(needle, from);
}

// The last occurrence that ends at or before `bound`.
std::size_t FindLast(const Text& text, const Text& needle, std::size_t bound) {
  if (needle.empty() || bound > text.size() || needle.size() > bound) return kNowhere;
  return text.rfind(needle, bound - needle.size());
}

std::int32_t Count(const Text& text, const Text& needle) {
  std::int32_t count = 0;
  for (std::size_t at = Find(text, needle, 0); at != kNowhere; at = Find(text, needle, at + needle.size())) ++count;
  return count;
}

Text Replace(const Text& text, const Text& what, const Text& with, bool noCase) {
  const Text folded = Folded(text, noCase), key = Folded(what, noCase);
  Text out;
  std::size_t copied = 0;
  for (std::size_t at = Find(folded, key, 0); at != kNowhere; at = Find(folded, key, at + key.size())) {
    out += text.substr(copied, at - copied) + with;
    copied = at + key.size();
  }
  return out + text.substr(copied);
}

// Code point order, at most `maxCount` characters (-1: all); a longer text
// orders after its prefix.
std::int32_t Compare(const Text& mine, const Text& other, std::int32_t maxCount) {
  for (std::size_t i = 0; maxCount < 0 || i < static_cast<std::size_t>(maxCount); ++i) {
    if (i == other.size()) return i < mine.size() ? 1 : 0;
    if (i == mine.size()) return -1;
    if (mine[i] != other[i]) return mine[i] < other[i] ? -1 : 1;
  }
  return 0;
}

std::uint32_t Hash(const Text& text) {
  std::uint32_t h = 0;
  for (const char32_t c : text) h = ((h & 0x0FFFFFFF) << 3) ^ (((h >> 2) ^ c) & 0x7FFFFFFF);
  return h;
}

// --- the checks ---

struct Case {
  const Subject& text;
  const Subject& needle;
  const Subject& with;
  std::int32_t start;
  std::int32_t maxCount;
};

struct Failure {
  const Case& input;
  const char* form;
  bool noCase;

  void operator()(bool ok, const char* what) const {
    if (ok) return;
    std::fprintf(stderr, "string ops: %s differs (other text as %s%s)\n  text %s [%s]\n  other %s [%s]\n"
                 "  with %s [%s]\n  start %d, maximum %d\n",
                 what, form, noCase ? ", NoCase" : "", input.text.string->getEncoding()->getName(),
                 Show(input.text.text).c_str(), input.needle.string->getEncoding()->getName(),
                 Show(input.needle.text).c_str(), input.with.string->getEncoding()->getName(),
                 Show(input.with.text).c_str(), input.start, input.maxCount);
    std::abort();
  }
};

Text CodePoints(const IString& string) {
  const lumo::ICharEncoding& encoding = *string.getEncoding();
  Text text;
  CodePoint c = 0;
  for (std::int32_t at = 0; (at = encoding.decodeNextChar(c, string.data(), string.byteLength(), at)) >= 0;) {
    text.push_back(c);
  }
  return text;
}

bool RefusesBackwards(const auto& call) {
  try {
    call();
  } catch (const lumo::CMethodNotImplementedError&) {
    return true;
  }
  return false;
}

// Every check with the other texts in one form.
template <class Other>
void CheckWith(const Case& input, const Other& other, const Other& with, const char* form) {
  const IString& s = *input.text.string;
  const std::int32_t start = input.start;
  const auto from = static_cast<std::size_t>(start);
  const bool inside = from <= input.text.text.size();
  for (const bool noCase : {false, true}) {
    const Failure check{input, form, noCase};
    const Text mine = Folded(input.text.text, noCase), theirs = Folded(input.needle.text, noCase);

    const StringPosition found = input.text.at(Find(mine, theirs, from));
    check((noCase ? s.findNoCase(other, start) : s.find(other, start)) == found, "find");
    if (inside) {
      const StringPosition at = input.text.at(from);
      check((noCase ? s.findNoCase(other, at) : s.find(other, at)) == found, "find from a position");
    }
    check((noCase ? s.countNoCase(other) : s.count(other)) == Count(mine, theirs), "count");
    check((noCase ? s.startsWithNoCase(other, start) : s.startsWith(other, start)) ==
              (inside && mine.compare(from, theirs.size(), theirs) == 0),
          "startsWith");
    check((noCase ? s.endsWithNoCase(other) : s.endsWith(other)) ==
              (theirs.size() <= mine.size() && mine.compare(mine.size() - theirs.size(), kNowhere, theirs) == 0),
          "endsWith");
    if (inside) {
      const std::int32_t order = Compare(mine.substr(from), theirs, input.maxCount);
      check((noCase ? s.compareNoCase(other, start, input.maxCount) : s.compare(other, start, input.maxCount)) ==
                order,
            "compare");
      const bool fitsRest = input.maxCount >= 0 || theirs.size() <= mine.size() - from;
      check((noCase ? s.matchesAtNoCase(other, start, input.maxCount) : s.matchesAt(other, start, input.maxCount)) ==
                (fitsRest && order == 0),
            "matchesAt");
    }
    if (s.canIterateBackwards()) {
      check((noCase ? s.findLastNoCase(other, start) : s.findLast(other, start)) ==
                input.text.at(FindLast(mine, theirs, from)),
            "findLast");
    } else {
      check(RefusesBackwards([&] { static_cast<void>(noCase ? s.findLastNoCase(other, start) : s.findLast(other, start)); }),
            "refusal of findLast");
    }

    const String replaced = noCase ? s.replaceNoCase(other, with) : s.replace(other, with);
    const Text expected = Replace(input.text.text, input.needle.text, input.with.text, noCase);
    check(CodePoints(*replaced) == expected && replaced->length() == static_cast<std::int32_t>(expected.size()),
          "replace");
    // The result keeps the string's encoding when everything fits, else it is UTF-16.
    const Form kept = Fits(input.text.form, expected) ? input.text.form : Form::kUTF16;
    check(replaced->getEncodingId() == EncodingOf(kept).getId(), "encoding of replace's result");
  }
}

// --- building the input ---

CodePoint PickCodePoint(FuzzedDataProvider& in) {
  // Case pairs in and across blocks, letters whose other case leaves
  // Latin-1, mappings that are not each other's inverse, titlecase digraphs,
  // astral letters, and the ends of the case table.
  static constexpr CodePoint kChosen[] = {
      'a',    'k',    'x',     0xB5,    0xC9,    0xDF,    0xE9,     0xFF,     0x130,   0x131,
      0x178,  0x1C4,  0x1C5,   0x1C6,   0x391,   0x3A3,   0x3C2,    0x3C3,    0x212A,  0x4E2D,
      0xFF21, 0xFFFD, 0x10400, 0x10428, 0x1E900, 0x1F600, 0x2FA1D,  0x2FA1E,  0x10FFFF};
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0: return in.ConsumeIntegralInRange<CodePoint>(0x20, 0x7E);
    case 1: return kChosen[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kChosen) - 1)];
    default: break;
  }
  const CodePoint c = in.ConsumeIntegralInRange<CodePoint>(1, 0x10FFFF - 0x800);
  return c < 0xD800 ? c : c + 0x800;  // no surrogates
}

// Characters from the palette, some in their other case.
Text MakeText(FuzzedDataProvider& in, const std::vector<CodePoint>& palette, std::size_t maxLength) {
  Text text(in.ConsumeIntegralInRange<std::size_t>(0, maxLength), U' ');
  for (char32_t& c : text) {
    const auto pick = in.ConsumeIntegral<std::uint8_t>();
    c = palette[pick % palette.size()];
    if (pick & 0x80) c = pick & 0x40 ? lumo::ToUpperCase(c) : lumo::ToLowerCase(c);
  }
  return text;
}

std::vector<std::uint8_t> Encode(const Text& text, const lumo::ICharEncoding& encoding,
                                 std::vector<std::int32_t>& offsets) {
  std::vector<std::uint8_t> bytes;
  offsets.clear();
  for (const char32_t c : text) {
    const auto at = static_cast<std::int32_t>(bytes.size());
    offsets.push_back(at);
    bytes.resize(bytes.size() + static_cast<std::size_t>(encoding.getEncodedSize(c)));
    encoding.encodeChar(c, bytes.data(), static_cast<std::int32_t>(bytes.size()), at);
  }
  offsets.push_back(static_cast<std::int32_t>(bytes.size()));
  return bytes;
}

String Make(Form form, const std::uint8_t* bytes, std::int32_t size, lumo::StringMode mode) {
  switch (form) {
    case Form::kLatin1: return lumo::make<lumo::CLatin1String>(reinterpret_cast<const char*>(bytes), size, mode);
    case Form::kUTF8: return lumo::make<lumo::CUTF8String>(bytes, size, -1, mode);
    case Form::kUTF16:
      return lumo::make<lumo::CWCharString>(reinterpret_cast<const char16_t*>(bytes), size, -1, mode);
    case Form::kUTF32:
      return lumo::make<lumo::CUTF32String>(reinterpret_cast<const std::uint32_t*>(bytes), size, -1, mode);
    case Form::kCodePage: break;
  }
  return lumo::make<lumo::CCPString>(bytes, size, -1, mode);
}

// `text` in an encoding the input picks (UTF-8 when it does not fit there):
// copied, borrowed without a terminator from a buffer of exactly its size,
// or as a slice between two more characters.
void Place(FuzzedDataProvider& in, Subject& subject) {
  subject.form = static_cast<Form>(in.ConsumeIntegralInRange(0, 4));
  if (!Fits(subject.form, subject.text)) subject.form = Form::kUTF8;
  const lumo::ICharEncoding& encoding = EncodingOf(subject.form);
  const auto size = [](const std::vector<std::uint8_t>& bytes) { return static_cast<std::int32_t>(bytes.size()); };
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0: {
      const std::vector<std::uint8_t> bytes = Encode(subject.text, encoding, subject.offsets);
      subject.string = Make(subject.form, bytes.data(), size(bytes), lumo::StringMode::kCopy);
      break;
    }
    case 1: {
      const std::vector<std::uint8_t> bytes = Encode(subject.text, encoding, subject.offsets);
      subject.borrowed = std::make_unique<std::uint8_t[]>(bytes.size());
      std::copy(bytes.begin(), bytes.end(), subject.borrowed.get());
      subject.string = Make(subject.form, subject.borrowed.get(), size(bytes), lumo::StringMode::kBorrow);
      break;
    }
    default: {
      const std::vector<std::uint8_t> bytes = Encode(U"x" + subject.text + U"y", encoding, subject.offsets);
      const String whole = Make(subject.form, bytes.data(), size(bytes), lumo::StringMode::kCopy);
      subject.string = whole->slice(1, static_cast<std::int32_t>(subject.text.size()) + 1);
      Encode(subject.text, encoding, subject.offsets);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The code page follows the locale: UTF-8 limited to 16-bit characters.
  std::setlocale(LC_ALL, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  std::vector<CodePoint> palette(in.ConsumeIntegralInRange<std::size_t>(1, 8));
  for (CodePoint& c : palette) c = PickCodePoint(in);

  Subject text, needle, with;
  text.text = MakeText(in, palette, 48);
  // The text to look for: random, or a piece of the text, perhaps in the other case.
  const int source = in.ConsumeIntegralInRange(0, 3);
  if (source == 0) {
    needle.text = MakeText(in, palette, 6);
  } else {
    const auto at = in.ConsumeIntegralInRange<std::size_t>(0, text.text.size());
    needle.text = text.text.substr(at, in.ConsumeIntegralInRange<std::size_t>(0, text.text.size() - at));
    for (char32_t& c : needle.text) {
      c = source == 2 ? lumo::ToUpperCase(c) : source == 3 ? lumo::ToLowerCase(c) : c;
    }
  }
  with.text = MakeText(in, palette, 4);
  for (Subject* subject : {&text, &needle, &with}) Place(in, *subject);
  const Case input{text, needle, with,
                   in.ConsumeIntegralInRange<std::int32_t>(0, static_cast<std::int32_t>(text.text.size()) + 1),
                   in.ConsumeIntegralInRange<std::int32_t>(-1, 8)};

  const Failure check{input, "IString", false};
  check(text.string->hashCode() == Hash(text.text) && needle.string->hashCode() == Hash(needle.text), "hashCode");
  check(text.string->length() == static_cast<std::int32_t>(text.text.size()), "length");
  for (const bool upper : {false, true}) {
    const String mapped = upper ? text.string->toUpperCase() : text.string->toLowerCase();
    Text expected = text.text;
    for (char32_t& c : expected) c = upper ? lumo::ToUpperCase(c) : lumo::ToLowerCase(c);
    const Form kept = Fits(text.form, expected) ? text.form : Form::kUTF16;
    check(CodePoints(*mapped) == expected && mapped->length() == static_cast<std::int32_t>(expected.size()) &&
              mapped->getEncodingId() == EncodingOf(kept).getId(),
          upper ? "toUpperCase" : "toLowerCase");
  }

  CheckWith<const IString&>(input, *needle.string, *with.string, "IString");
  // Every text here can be given as char16_t text: none holds NUL or a surrogate.
  std::u16string needle16, with16;
  for (auto [from, to] : {std::pair{&needle.text, &needle16}, std::pair{&with.text, &with16}}) {
    for (const char32_t c : *from) {
      if (c > 0xFFFF) {
        to->push_back(static_cast<char16_t>(0xD7C0 + (c >> 10)));
        to->push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
      } else {
        to->push_back(static_cast<char16_t>(c));
      }
    }
  }
  CheckWith(input, needle16.c_str(), with16.c_str(), "char16_t text");
  if (Fits(Form::kLatin1, needle.text) && Fits(Form::kLatin1, with.text)) {
    const std::string needle8(needle.text.begin(), needle.text.end()), with8(with.text.begin(), with.text.end());
    CheckWith(input, needle8.c_str(), with8.c_str(), "char text");
  }
  return 0;
}

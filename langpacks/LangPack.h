// Language pack files: the language tag, the first file format (CLangPack)
// and the chunk-file format (CLangPack2), each read header first and string
// table on demand. A header read takes at most 1 MiB of a file, whatever its
// size (docs/localization.md).
//
//   std::unique_ptr<CLangPack> pack = OpenLangPack(u"/opt/orbweave/lang/Orbweave_de.kvnLang");
//   if (pack && pack->Load())
//     if (const CString* text = pack->Lookup(u"CKyrell.Title")) ...
#pragma once

#include <cstdint>
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "compat/mfc/CString.h"

namespace chf {
class IStream;
}

// A language named by up to three parts joined by "-" ("en", "en-us",
// "zh-hant-tw"). A longer text keeps everything after the second "-" in the
// third part, so the name always reads back as given.
class CLangTag {
 public:
  static constexpr int kMaxParts = 3;

  CLangTag() = default;
  explicit CLangTag(std::u16string_view text);

  bool IsEmpty() const { return name_.IsEmpty(); }
  const CString& Name() const { return name_; }
  int PartCount() const { return partCount_; }
  // The part at `index` (0 to PartCount() - 1) without its separators.
  std::u16string_view Part(int index) const;
  // How many leading parts the two tags share, compared without regard to
  // ASCII case; 0 when the first parts differ or either tag is empty.
  int CountEqualParts(const CLangTag& other) const;

 private:
  CString name_;
  // Start and length of each part in name_.
  std::uint32_t partStart_[kMaxParts] = {};
  std::uint32_t partLength_[kMaxParts] = {};
  int partCount_ = 0;
};

// A key of the string table: its text, in the pack's arena, and its hash
// code, taken once as the key is stored (the one the pack's index uses);
// the table's own walks reuse it.
struct LangPackKey {
  LangPackKey(std::u16string_view key, std::pmr::memory_resource* arena, std::uint64_t keyHash)
      : text(key, arena), hash(keyHash) {}
  operator std::u16string_view() const { return text; }
  bool operator==(const LangPackKey& other) const { return hash == other.hash && text == other.text; }

  std::pmr::u16string text;
  std::uint64_t hash;
};
struct LangPackKeyHash {
  std::size_t operator()(const LangPackKey& key) const noexcept { return key.hash; }
};
// The string table, for reading: lookups go through the pack's own index.
// Its keys and nodes live in the pack's own arena, which is let go of as a
// whole, so reading 20,000 entries costs one heap block per text rather than
// three per entry.
using LangPackStringTable = std::pmr::unordered_map<LangPackKey, CString, LangPackKeyHash>;

class CLangPack2;

// A pack of the first format ("LANGPACK", "LANGPCK2", "LANGPU16"). Scanning
// reads the header only; Load reads the header again and the whole table.
class CLangPack {
 public:
  // How far a header read got.
  enum class HeaderResult {
    kRead,           // a valid header of this format, version 0 or 1
    kNotThisFormat,  // the file is not of this format (or cannot be opened)
    kInvalid,        // this format, but a version above 1 or a broken header
  };

  explicit CLangPack(const CString& path);
  CLangPack(const CLangPack&) = delete;
  CLangPack& operator=(const CLangPack&) = delete;

  virtual ~CLangPack();
  // 1 for this class, 2 for CLangPack2.
  virtual int Format() const;
  // True once a string table has been read.
  virtual bool IsReady() const;
  // True when the file's texts are UTF-16 ("LANGPU16" and every CLangPack2).
  virtual bool IsWideText() const;
  virtual const CString& HeaderString1() const;
  virtual const CString& HeaderString2() const;
  // The language's display name, such as "Deutsch" or "English (UK)".
  virtual const CString& HeaderString3() const;
  // Empty for the first format.
  virtual const CLangTag& Tag() const;
  virtual const CString& HeaderString4() const;
  virtual const CString& FilePath() const;
  // The tag's name when there is a tag, otherwise the third header string.
  virtual CString LanguageName() const;
  // The text stored for `key` (case-sensitive), or null.
  virtual const CString* Lookup(std::u16string_view key) const;

  // Reads the header of the file at FilePath(); a CLangPack2 reads its
  // "lang", "apid" and "cmnt" chunks and answers kRead or kNotThisFormat.
  HeaderResult ReadHeader();
  // Reads the header again and the whole string table; false, with the
  // table left empty and the pack not ready, when the file cannot be opened
  // or no longer reads as a pack.
  bool Load();

  // The string table, and the same entries in the order the file first
  // names their keys (a key stored twice keeps its place and its last text).
  const LangPackStringTable& Strings() const { return strings_; }
  const std::vector<const LangPackStringTable::value_type*>& Entries() const { return order_; }
  // The first format's version (0 or 1) and table layout; 0 for CLangPack2.
  std::uint32_t Version() const { return version_; }
  std::uint32_t Layout() const { return layout_; }

 protected:
  void clearTable();
  void reserve(std::size_t count);
  void store(std::u16string_view key, CString text);

  CString path_;
  CString header_[4];
  CLangTag tag_;
  std::pmr::monotonic_buffer_resource arena_;
  LangPackStringTable strings_{&arena_};
  std::vector<const LangPackStringTable::value_type*> order_;
  std::uint32_t version_ = 0;
  std::uint32_t layout_ = 0;
  bool ready_ = false;
  bool wideText_ = false;

  // An open-addressed index over a loaded table, for the hot lookups of the
  // program's texts: a key is hashed from its length and three 8-byte
  // windows, one flat slot array is probed, and the key is compared once.
  struct IndexSlot {
    std::uint32_t check = 0;   // the hash's upper half
    std::uint32_t length = 0;  // the key's length in code units
    const LangPackStringTable::value_type* entry = nullptr;
  };
  std::vector<IndexSlot> index_;
  void buildIndex();

 private:
  friend class CLangPack2;
  friend std::unique_ptr<CLangPack> ReadLangPackBytes(std::string_view bytes);
  friend std::unique_ptr<CLangPack> OpenLangPack(const CString& path);
  // Reads the pack from `stream`: the header, and the table when asked.
  HeaderResult parse(chf::IStream& stream, bool withTable);
  // Either format's parse by Format(); a read the stream refuses (beyond a
  // short file's end, beyond what a scan may read) ends as kNotThisFormat.
  HeaderResult parseAny(chf::IStream& stream, bool withTable);
  HeaderResult read(bool withTable);
};

// A pack stored as a chunk file tagged "URESFILE".
class CLangPack2 : public CLangPack {
 public:
  explicit CLangPack2(const CString& path);

  ~CLangPack2() override;
  int Format() const override;

 private:
  friend class CLangPack;
  friend std::unique_ptr<CLangPack> ReadLangPackBytes(std::string_view bytes);
  HeaderResult parse(chf::IStream& stream, bool withTable);
};

// Opens the pack at `path` as either format, header only: the first format
// when its magic is there (null when its version is above 1 or its header is
// broken), else the chunk-file format; null when neither reads.
std::unique_ptr<CLangPack> OpenLangPack(const CString& path);

// Both readers over bytes already in memory, for the fuzz target and the
// tests: the pack as OpenLangPack finds it, with its table read, or null.
std::unique_ptr<CLangPack> ReadLangPackBytes(std::string_view bytes);

// The language packs of the "lang\" folder and the one that is current.
//
//   CLangPackMan& packs = LangPackMan();
//   packs.Scan(programFolder + u"lang\\", u"Orbweave");
//   packs.Select(packs.FindBest(requested));
//   if (const CLangPack* pack = packs.Current()) ... pack->LanguageName() ...
#pragma once

#include <memory>
#include <vector>

#include "compat/mfc/CString.h"
#include "langpacks/LangPack.h"

class CLangPackMan {
 public:
  // Forgets every pack, then adds each file (not folder) of `folder` named
  // `shortName` followed by "*.kvnLang" that reads as a pack, in the order
  // the folder lists them. The current index is left as it is: start-up
  // selects right after scanning.
  void Scan(const CString& folder, const CString& shortName);
  // Keeps the file at `path` when its header reads: the first format when
  // its magic is there, else the chunk-file format.
  bool AddPack(const CString& path);
  // The tag of the user's interface language, such as "en-us".
  CString SystemLanguageName() const;
  // The first pack for a language tag ("de-at", "en") or, for a longer name
  // without a "-" in its first four characters, the first pack whose third
  // header string contains the name, both lower-cased; -1 when none.
  int Find(const CString& name) const;
  // The pack for the requested language, else the system language's, else
  // "en", else "english"; -1 when none of them is there.
  int FindBest(const CString& requested) const;
  // Reads the pack's whole string table and makes it current; with an index
  // outside the list, or a file that no longer reads, no pack is current.
  bool Select(int index);
  // The current pack, or null.
  CLangPack* Current() const;
  int CurrentIndex() const { return current_; }
  int Count() const { return static_cast<int>(packs_.size()); }
  // The pack at `index`, or null outside the list.
  CLangPack* Get(int index) const;
  const CString& PathAt(int index) const { return paths_.at(static_cast<std::size_t>(index)); }

 private:
  std::vector<std::unique_ptr<CLangPack>> packs_;
  // The path each pack was added with, parallel to packs_.
  std::vector<CString> paths_;
  int current_ = -1;
};

// The process's one language pack manager.
CLangPackMan& LangPackMan();

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

// One language pack file: its header texts and, once selected, its strings.
class CLangPack {
 public:
  virtual ~CLangPack() = default;
  virtual int Format() const = 0;
  virtual CString HeaderString3() const = 0;
  virtual CString FilePath() const = 0;
  virtual CString LanguageName() const = 0;
  // The text for a key, or null when the pack has none.
  virtual const CString* Lookup(const CString& key) const = 0;
};

class CLangPackMan {
 public:
  // Forgets every pack, then adds each file of `folder` named `shortName`
  // followed by "*.kvnLang" that reads as a pack.
  void Scan(const CString& folder, const CString& shortName);
  bool AddPack(const CString& path);
  // The tag of the user's interface language, such as "en-us".
  CString SystemLanguageName() const;
  int Find(const CString& name) const;
  // The pack for the requested language, else the system language's, else
  // "en", else "english"; -1 when none of them is there.
  int FindBest(const CString& requested) const;
  void Select(int index);
  const CLangPack* Current() const;
  int Count() const { return static_cast<int>(packs_.size()); }
  const CLangPack* Get(int index) const;

 private:
  std::vector<std::unique_ptr<CLangPack>> packs_;
  std::vector<CString> paths_;
  int current_ = -1;
};

// The process's one language pack manager.
CLangPackMan& LangPackMan();

// Value lists: the base library's dictionary of named, typed values.
//
//   lumo::P<lumo::IValueList> options = lumo::make<lumo::CValueList>(false);
//   options->setInt(u"Speed", 16);
//   std::int32_t speed = options->getInt(u"SPEED", 4);   // 16
//
// A value is any counted object: a boxed scalar (settings/IValue.h), a
// string, a URI, another value list. Values are shared, never copied, when
// they go into a list or from one list to another. Nothing is locked: a list
// and its enumerators belong to one thread at a time.
#pragma once

#include <cstdint>

#include "foundation/IBase.h"
#include "foundation/Object.h"
#include "foundation/Pointer.h"
#include "foundation/SimpleHashTable.h"
#include "foundation/String.h"

namespace lumo {

class IConstEnum;
class IURI;

class IValueList : public virtual IBase {
 public:
  virtual bool isCaseSensitive() const = 0;
  // Whether the name has an entry, even one whose value is null.
  virtual bool contains(const String& name) const = 0;
  // The value, or null when the name has no entry.
  virtual P<IBase> get(const String& name) const = 0;

  // The typed getters never throw: a missing entry, a null value or a value
  // of a kind that does not convert (settings/IValue.h) gives `fallback`.
  virtual bool getBool(const String& name, bool fallback) const = 0;
  virtual std::int32_t getInt(const String& name, std::int32_t fallback) const = 0;
  virtual std::int64_t getInt64(const String& name, std::int64_t fallback) const = 0;
  virtual float getFloat(const String& name, float fallback) const = 0;
  virtual double getDouble(const String& name, double fallback) const = 0;
  // The stored string itself (shared); the fallback also for a null string.
  virtual String getString(const String& name, const String& fallback) const = 0;
  virtual P<IURI> getURI(const String& name, const P<IURI>& fallback) const = 0;

  // Each setter answers true when it made a new entry and false when it
  // replaced the value of an existing one. A new entry keeps the name as
  // spelled here; later spellings that fold to it only replace the value.
  virtual bool set(const String& name, P<IBase> value) = 0;
  virtual bool setInt(const String& name, std::int32_t value) = 0;
  virtual bool setInt64(const String& name, std::int64_t value) = 0;
  virtual bool setBool(const String& name, bool value) = 0;
  virtual bool setDouble(const String& name, double value) = 0;
  virtual bool setFloat(const String& name, float value) = 0;
  // Stores any interface's object under its IBase view.
  virtual bool setObject(const String& name, IBase* object) = 0;

  // Whether an entry was removed.
  virtual bool remove(const String& name) = 0;
  virtual void clear() = 0;
  // The names as their entries spell them, as IString objects, in the
  // order of the table's buckets (not the order they were set in). The
  // enumerator cannot tell its count (-1).
  virtual P<IConstEnum> getNames() const = 0;
  // A new list with the same case rule and entries; values are shared.
  virtual P<IValueList> clone() const = 0;
  // Replaces this list's case rule and entries by the source's.
  virtual IValueList& assign(const IValueList& source) = 0;
};

class CValueList final : public CObject, public IValueList {
 public:
  // One entry: the name as its first `set` spelled it, and the value.
  struct Entry {
    String name;
    P<IBase> value;
  };
  using Table = TSimpleHashTable<String, Entry>;
  class CNameEnum;

  explicit CValueList(bool caseSensitive);
  // Takes the source's case rule and entries (assign); values are shared.
  explicit CValueList(const IValueList& source);
  CValueList(const CValueList& source) : CValueList(static_cast<const IValueList&>(source)) {}
  CValueList& operator=(const CValueList&) = delete;

  bool isCaseSensitive() const override { return caseSensitive; }
  bool contains(const String& name) const override { return find(name) != nullptr; }
  P<IBase> get(const String& name) const override;
  bool getBool(const String& name, bool fallback) const override;
  std::int32_t getInt(const String& name, std::int32_t fallback) const override;
  std::int64_t getInt64(const String& name, std::int64_t fallback) const override;
  float getFloat(const String& name, float fallback) const override;
  double getDouble(const String& name, double fallback) const override;
  String getString(const String& name, const String& fallback) const override;
  P<IURI> getURI(const String& name, const P<IURI>& fallback) const override;
  bool set(const String& name, P<IBase> value) override;
  bool setInt(const String& name, std::int32_t value) override;
  bool setInt64(const String& name, std::int64_t value) override;
  bool setBool(const String& name, bool value) override;
  bool setDouble(const String& name, double value) override;
  bool setFloat(const String& name, float value) override;
  bool setObject(const String& name, IBase* object) override;
  bool remove(const String& name) override { return entries.remove(keyOf(name)); }
  void clear() override { entries.clear(); }
  P<IConstEnum> getNames() const override;
  P<IValueList> clone() const override;
  IValueList& assign(const IValueList& source) override;

 protected:
  ~CValueList() override = default;

 private:
  // The table key of a name: the name itself, or its lower-case form when
  // the list ignores case.
  String keyOf(const String& name) const { return caseSensitive ? name : name->toLowerCase(); }
  const Entry* find(const String& name) const {
    return caseSensitive ? entries.find(name) : entries.find(name->toLowerCase());
  }
  // The value stored under `name`, borrowed from the list; null when there
  // is none.
  IBase* peek(const String& name) const {
    const Entry* entry = find(name);
    return entry ? entry->value.get() : nullptr;
  }

  Table entries{0, 0.8, 2.0};
  bool caseSensitive;
};

}  // namespace lumo

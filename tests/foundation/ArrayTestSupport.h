// Helpers for the array and enumerator tests: an element that records its
// destruction, arrays of strings from a list, and elements as text.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "FoundationTestSupport.h"
#include "foundation/IComparable.h"
#include "foundation/IEnum.h"
#include "foundation/SimpleArray.h"

namespace lumo::test {

using Keys = std::vector<int>;

struct Tally {
  Keys destroyed;       // keys in the order their items died
  Keys countsSeen;      // the watched array's count at each death
  int stillListed = 0;  // deaths that found themselves still in the watched array
};

// An element that records its destruction; it may watch the array holding it.
class CItem final : public CObject, public IComparable {
 public:
  CItem(Tally& tally, int key, const TCleaningSimpleArray<P<IBase>>* watched = nullptr)
      : key(key), tally(tally), watched(watched) {}
  std::int32_t compareTo(const IComparable& other) const override {
    return key - dynamic_cast<const CItem&>(other).key;
  }
  const int key;

 protected:
  ~CItem() override {
    tally.destroyed.push_back(key);
    if (!watched) return;
    tally.countsSeen.push_back(watched->getCount());
    tally.stillListed += watched->indexOf(this) >= 0;
  }

 private:
  Tally& tally;
  const TCleaningSimpleArray<P<IBase>>* watched;
};

// "-" for null, a string's text, "?" for anything else.
inline std::string Text(const IBase* element) {
  if (!element) return "-";
  const auto* text = dynamic_cast<const IString*>(element);
  return text ? ToUTF8(String(P<IString>::share(const_cast<IString*>(text)))) : "?";
}

template <class Array>
std::string Texts(const Array& array) {
  std::string out;
  for (std::int32_t i = 0; i < array.getCount(); ++i) out += (i ? "," : "") + Text(array.get(i).get());
  return out;
}

// Up to `max` further elements of an enumeration (all when negative).
inline std::string Drain(IConstEnum& each, int max = -1) {
  std::string out;
  for (int n = 0; n != max && each.hasMore(); ++n) out += (n ? "," : "") + Text(each.next().get());
  return out;
}

// An array of new strings from a comma-separated list.
template <class Array>
P<Array> Strings(const std::string& list) {
  const P<Array> array = make<Array>();
  std::istringstream in(list);
  for (std::string text; std::getline(in, text, ',');) array->add(String(text.c_str()).get());
  return array;
}

}  // namespace lumo::test

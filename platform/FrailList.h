// Walking a list of listeners or workers that may change while it is walked.
#pragma once

#include <cstdint>

#include "foundation/Pointer.h"
#include "foundation/SimpleArray.h"

namespace lumo {

// Calls `call` on each entry from the last to the first, each held by a
// reference of its own for the call. An entry may remove itself, or others,
// meanwhile: the index is checked against the count before each step, so no
// entry still in the list is skipped or called twice for its own removal.
template <class I, class Call>
void CallEachBackwards(const TFrailArray<I>& list, const Call& call) {
  for (std::int32_t i = list.getCount() - 1; i >= 0; --i) {
    if (i >= list.getCount()) continue;
    I* object = list.getObject(i);
    if (!object) continue;
    const P<I> held = P<I>::share(object);
    call(*held);
  }
}

}  // namespace lumo

// Names of files and streams. Errors about a file name the URI it is about.
#pragma once

#include "foundation/IBase.h"

namespace lumo {

class IURI : public virtual IBase {
 public:
  // The URI as users are shown it: a file URI as its path, any other URI
  // as its text.
  virtual String getDisplayText() const = 0;
};

}  // namespace lumo

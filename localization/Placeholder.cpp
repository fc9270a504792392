#include "localization/Placeholder.h"

namespace lumo {

String Replace(const String& text, const String& placeholder, const String& value) {
  return text.replace(placeholder, value);
}

}  // namespace lumo

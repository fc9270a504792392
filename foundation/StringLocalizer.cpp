#include "foundation/StringLocalizer.h"

namespace lumo {

// No translations are loaded into the library yet: every text is English.
String Localize(const String&, const String& defaultText) { return defaultText; }

}  // namespace lumo

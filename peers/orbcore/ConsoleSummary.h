// The engine without a window: what it received, printed for the user.
#pragma once

#include <ostream>

#include "peers/orbcore/EngineView.h"

namespace orbcore {

void PrintConsoleSummary(const EngineView& view, std::ostream& out);

}  // namespace orbcore

// The engine's command script (ORBCORE_SCRIPT): steps that stand in for
// what a user does in the window, for runs without one.
//
//   build,command:2000,idle,wait:50,result:failure
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orbcore {

enum class RunResult { Success, Failure, Null };
const char* RunResultName(RunResult result);

struct ScriptStep {
  enum class Kind { Build, Command, Idle, Wait, Result };
  Kind kind = Kind::Build;
  std::uint32_t value = 0;  // the command id or the milliseconds to wait
  RunResult result = RunResult::Success;
};

// The comma-separated steps as written, blanks around each trimmed; empty
// items are dropped.
std::vector<std::string> SplitScript(std::string_view script);
// Nothing for a step the engine does not know.
std::optional<ScriptStep> ParseStep(std::string_view step);

}  // namespace orbcore

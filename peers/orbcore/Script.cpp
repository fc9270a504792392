// Reading the command script.
#include "peers/orbcore/Script.h"

#include <charconv>

namespace orbcore {

namespace {

std::string_view Trim(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::optional<std::uint32_t> Number(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

const char* RunResultName(RunResult result) {
  switch (result) {
    case RunResult::Success: return "success";
    case RunResult::Failure: return "failure";
    case RunResult::Null: return "null";
  }
  return "failure";
}

std::vector<std::string> SplitScript(std::string_view script) {
  std::vector<std::string> steps;
  while (!script.empty()) {
    const std::size_t comma = script.find(',');
    const std::string_view step = Trim(script.substr(0, comma));
    if (!step.empty()) steps.emplace_back(step);
    script = comma == std::string_view::npos ? std::string_view() : script.substr(comma + 1);
  }
  return steps;
}

std::optional<ScriptStep> ParseStep(std::string_view step) {
  using Kind = ScriptStep::Kind;
  if (step == "build") return ScriptStep{Kind::Build};
  if (step == "idle") return ScriptStep{Kind::Idle};
  const std::size_t colon = step.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view name = step.substr(0, colon);
  const std::string_view argument = step.substr(colon + 1);
  if (name == "command" || name == "wait") {
    std::optional<std::uint32_t> value = Number(argument);
    if (!value) return std::nullopt;
    return ScriptStep{name == "command" ? Kind::Command : Kind::Wait, *value};
  }
  if (name == "result") {
    for (RunResult result : {RunResult::Success, RunResult::Failure, RunResult::Null}) {
      if (argument == RunResultName(result)) return ScriptStep{Kind::Result, 0, result};
    }
  }
  return std::nullopt;
}

}  // namespace orbcore

// The engine's own texts: English defaults under keys of the engine's own,
// replaced by the language pack the shell chose when it has them.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "peers/orbcore/Task.h"

namespace orbcore {

class EngineTexts {
 public:
  // The text under `key`, else `english`.
  std::string Get(const std::string& key, std::string_view english) const;
  void Set(std::string key, std::string text) { texts_[std::move(key)] = std::move(text); }

 private:
  std::map<std::string, std::string, std::less<>> texts_;
};

// The user's message for a failed task, with %FILE% filled in.
std::string FailureMessage(const TaskOutcome& outcome, const EngineTexts& texts);

}  // namespace orbcore

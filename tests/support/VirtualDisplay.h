// An X server of the test's own (Xvfb), for tests that open real windows;
// name() is empty when there is no Xvfb, and the test skips.
#pragma once

#include <string>

namespace testing_support {

class VirtualDisplay {
 public:
  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // ":N", the value for DISPLAY.
  const std::string& name() const { return name_; }
  int pid() const { return pid_; }
  // Saves the whole screen as a PNG (ImageMagick's import); true on success.
  bool Screenshot(const std::string& pngPath) const;
  // Kills the server at once, as a crash or a lost session would end it.
  void Kill();

 private:
  int pid_ = -1;
  std::string name_;
};

}  // namespace testing_support

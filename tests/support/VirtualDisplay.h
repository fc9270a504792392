// An X server of the test's own (Xvfb), for tests that open real windows.
//
//   testing_support::VirtualDisplay display;
//   if (display.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";
//   setenv("DISPLAY", display.name().c_str(), 1);
#pragma once

#include <string>

namespace testing_support {

class VirtualDisplay {
 public:
  // Starts the server; name() stays empty when there is no Xvfb.
  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // ":N", the value for DISPLAY.
  const std::string& name() const { return name_; }
  // Saves the whole screen as a PNG (ImageMagick's import); true on success.
  bool Screenshot(const std::string& pngPath) const;

 private:
  int pid_ = -1;
  std::string name_;
};

}  // namespace testing_support

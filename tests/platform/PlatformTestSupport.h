// Helpers for the platform tests: URIs of a test's own files and the text of the error a call raises.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "foundation/CURI.h"
#include "tests/foundation/FoundationTestSupport.h"
#include "tests/support/IsolatedTest.h"

namespace lumo::test {

inline P<IURI> Uri(const std::string& text) { return make<CURI>(String(text.c_str())); }

// The description of the E that `call` raises; a failure when it raises none.
template <class E>
std::string TextOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const E& error) {
    return ToUTF8(error.getDescription());
  }
  ADD_FAILURE() << "no " << typeid(E).name();
  return "";
}

// A test's files by name: their paths, their file URIs, and the path users are shown.
class FileTest : public testing_support::IsolatedTest {
 protected:
  std::string Path(const std::string& name) const { return folder() / name; }
  P<IURI> FileUri(const std::string& name) const { return Uri("file:///Z:" + Path(name)); }
  std::string Shown(const std::string& name) const {
    std::string path = "Z:" + Path(name);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }
};

}  // namespace lumo::test

#include "foundation/TypeName.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/String.h"

namespace lumo {

String TypeName(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> demangled(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
  std::string name = status == 0 && demangled ? demangled.get() : type.name();
  if (dynamic_cast<const abi::__class_type_info*>(&type)) {
    name.insert(0, "class ");
  } else if (dynamic_cast<const abi::__enum_type_info*>(&type)) {
    name.insert(0, "enum ");
  }
  return String(name.c_str());
}

}  // namespace lumo

// The name of a type as the library's texts spell it: "class lumo::CURI".
//
// The run-time type information does not keep whether a class was declared
// with `class` or `struct`, so every class type is spelled "class <name>";
// enumerations are "enum <name>"; other types keep the compiler's spelling.
#pragma once

#include <typeinfo>

#include "foundation/Forward.h"

namespace lumo {

String TypeName(const std::type_info& type);

}  // namespace lumo

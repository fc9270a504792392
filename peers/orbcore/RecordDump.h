// The launch record as JSON: each field under its byte offset in the 32-bit
// layout ("0", "4", ... "288"), nested records under their own offsets.
#pragma once

#include "peers/orbcore/IgnisLaunch.h"
#include "peers/orbcore/Json.h"
#include "peers/orbcore/RecordText.h"

namespace orbcore {

// Numbers stay numbers, texts are decoded, null pointers are null, handles
// and callbacks are true when set; the task input (by task code), the help
// topic table and the font are objects of their own.
JsonValue DumpRecord(const LaunchRecord& record, TextForm form);

}  // namespace orbcore

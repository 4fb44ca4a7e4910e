#include "vst/Module.h"

namespace vl {

// Written by the plug-in library's load hook; stays null everywhere else.
void* moduleInstance = nullptr;

} // namespace vl

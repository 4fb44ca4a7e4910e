#pragma once
// The module instance handle of the plug-in library, written by the library's load hook
// and read when resources are loaded. Null in programs and on platforms without one.

namespace vl {

extern void* moduleInstance;

} // namespace vl

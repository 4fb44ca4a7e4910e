// No system file dialog here: the fallback chooses nothing, as a cancelled dialog does.
#include "instrument/PatchFiles.h"

namespace vl {

bool chooseFileFallback(VstFileSelect*, void*) { return false; }

} // namespace vl

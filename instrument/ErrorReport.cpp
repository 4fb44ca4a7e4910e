#include "instrument/ErrorReport.h"

#include "platform/Notice.h"

namespace vl {

const char* errorText(ErrorCode code) {
    static constexpr const char* texts[] = {
        "An unknown error occurred",
        "Out of memory",
        "Bitmap could not be loaded",
        "Invalid patch/bank format",
        "This file was created with a more recent version of the program",
        "Error writing file",
        "Error opening file",
        "Error reading file",
    };
    const int index = static_cast<int>(code);
    if (index < 0 || index > 7) return texts[0];
    return texts[index];
}

void showError(ErrorCode code) { showNotice(kErrorCaption, errorText(code)); }

} // namespace vl

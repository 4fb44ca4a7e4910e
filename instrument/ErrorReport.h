#pragma once
// The one user-facing error report of the instrument: a warning notice captioned
// "Velmor Loom Error" with a fixed text per code.

namespace vl {

enum class ErrorCode : int {
    unknown = 0,
    outOfMemory = 1,
    bitmapNotLoaded = 2,
    invalidFormat = 3,
    newerVersion = 4,
    writeFailed = 5,
    openFailed = 6,
    readFailed = 7,
};

inline constexpr const char* kErrorCaption = "Velmor Loom Error";

// The text for a code; a code outside 0..7 gets the text of code 0.
const char* errorText(ErrorCode code);

// Shows the notice and returns when the user has dismissed it.
void showError(ErrorCode code);

} // namespace vl

// A file could not be exported; the file that was there before is left as it was.
#pragma once
#include "store/error.h"

namespace k3 {

struct ExportError : Error {
    using Error::Error;
};

// The user stopped an export before it was done: nothing was written, the earlier file stays.
struct ExportCancelled : ExportError {
    using ExportError::ExportError;
};

}  // namespace k3

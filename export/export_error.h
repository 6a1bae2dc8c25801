// A file could not be exported; the file that was there before is left as it was.
#pragma once
#include "store/error.h"

namespace k3 {

struct ExportError : Error {
    using Error::Error;
};

}  // namespace k3

// The analyses build result grids of up to hundreds of thousands of rows and free them again on the
// next run. glibc hands the freed top of the heap back to the system at once and faults it in again
// on the next run, which costs several times more than the analysis itself; keeping freed memory in
// the process (up to 256 MB) avoids that. Called once by a program that runs analyses repeatedly.
#pragma once
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace k3 {

inline void keepResultMemory() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

}  // namespace k3

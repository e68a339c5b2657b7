#include "base/LargeBuffers.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/mman.h>

namespace {

// The largest block glibc lets the heap serve (half its heap size).
constexpr int kHeapBlockLimit = 32 * 1024 * 1024;
// Free memory at the top of the heap kept before giving it back.
constexpr int kKeptFreeMemory = 128 * 1024 * 1024;

} // namespace

void KeepLargeBuffersResident() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, kHeapBlockLimit);
    mallopt(M_TRIM_THRESHOLD, kKeptFreeMemory);
#endif
}

void ReleaseKeptBuffers() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void PreferHugePages(void* pData, qsizetype nBytes) {
#ifdef MADV_HUGEPAGE
    constexpr quintptr kHugePage = quintptr(2) * 1024 * 1024;
    const quintptr start = (quintptr(pData) + kHugePage - 1) & ~(kHugePage - 1);
    const quintptr end = (quintptr(pData) + quintptr(nBytes)) & ~(kHugePage - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    Q_UNUSED(pData);
    Q_UNUSED(nBytes);
#endif
}

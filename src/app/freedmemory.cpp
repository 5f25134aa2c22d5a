#include "freedmemory.h"

#include <QtGlobal>

#include <cstdlib> // defines __GLIBC__ where it applies

#if defined(__GLIBC__) || defined(Q_OS_WIN)
#include <malloc.h>
#endif

void keepFreedMemoryForReuse()
{
#if defined(__GLIBC__)
    // Serve large blocks from the heap rather than from separate mappings, and hand memory back
    // to the system only once more than this much lies free at the top of the heap.
    constexpr int keptFreeBytes = 64 * 1024 * 1024;
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, keptFreeBytes);
#endif
}

void handBackFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#elif defined(Q_OS_WIN)
    _heapmin();
#endif
}

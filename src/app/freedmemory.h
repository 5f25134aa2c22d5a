#ifndef VELTRANE_APP_FREEDMEMORY_H
#define VELTRANE_APP_FREEDMEMORY_H

// Converting a large text allocates and frees blocks of tens of megabytes (the hex text of an
// 8 MiB paste alone is 32 MiB). By default each such block is mapped fresh from the system and
// handed back when freed, so every conversion pays again for the system to supply and zero its
// pages: a third of the conversion time at that size. Keeping freed memory in the heap for reuse
// avoids that. Call once, before anything is allocated in bulk.
void keepFreedMemoryForReuse();

// Hands back to the system what the heap holds freed for reuse. Until then the memory cgroups, the
// memory available and a job's commit count it as in use, which lowers memoryHeadroom() (see
// memoryheadroom.h); after it, the heap takes fresh pages again, which costs time.
void handBackFreedMemory();

#endif // VELTRANE_APP_FREEDMEMORY_H

#ifndef VELTRANE_APP_FREEDMEMORY_H
#define VELTRANE_APP_FREEDMEMORY_H

// Converting a large text allocates and frees blocks of tens of megabytes (the hex text of an
// 8 MiB paste alone is 32 MiB). By default each such block is mapped fresh from the system and
// handed back when freed, so every conversion pays again for the system to supply and zero its
// pages: a third of the conversion time at that size. Keeping freed memory in the heap for reuse
// avoids that. Call once, before anything is allocated in bulk.
void keepFreedMemoryForReuse();

#endif // VELTRANE_APP_FREEDMEMORY_H

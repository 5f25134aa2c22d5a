#ifndef VELTRANE_ALLOCATOR_H
#define VELTRANE_ALLOCATOR_H

// A click on a large text allocates and frees a few blocks of tens to hundreds of megabytes. By
// default each such block is mapped fresh from the system and handed back when freed, so every
// click pays again for the system to supply and zero its pages. Keeping freed memory in the heap
// for reuse makes large clicks markedly faster. Call once, before anything is allocated in bulk.
void keepFreedMemoryForReuse();

#endif // VELTRANE_ALLOCATOR_H

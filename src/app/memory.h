#ifndef VELTRANE_MEMORY_H
#define VELTRANE_MEMORY_H

#include <QtGlobal>

#include <optional>

// How many more bytes this process can allocate and use: the least of what its address-space and
// data limits leave and the memory the system reports available. Nothing when none of these is
// known or limited. Beyond it, an allocation fails or the kernel ends the process.
std::optional<qint64> memoryHeadroom();

#endif // VELTRANE_MEMORY_H

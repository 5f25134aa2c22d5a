#ifndef VELTRANE_MEMORY_H
#define VELTRANE_MEMORY_H

#include <QtGlobal>

#include <optional>

// How many more bytes this process can allocate and use: the least of what its address-space and
// data limits leave and the memory the system reports available; on Windows, of the physical
// memory, commit charge and address space still available and what its job object's memory limit
// leaves. Nothing when none of these is known or limited. Beyond it, an allocation fails or the
// system ends the process.
std::optional<qint64> memoryHeadroom();

#endif // VELTRANE_MEMORY_H

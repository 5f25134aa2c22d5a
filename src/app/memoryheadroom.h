#ifndef VELTRANE_APP_MEMORYHEADROOM_H
#define VELTRANE_APP_MEMORYHEADROOM_H

#include <QtGlobal>

#include <optional>

#if defined(Q_OS_LINUX)
#include <QByteArray>
#endif

// How many more bytes this process can allocate and use: the least of what its address-space and
// data limits leave, with what its heap holds freed, what its memory cgroups leave and the memory
// the system reports available; on Windows, of the physical memory, commit charge and address
// space still available and what its job object's memory limit leaves. Nothing when none of these
// is known or limited. Beyond it, an allocation fails or the system ends the process.
std::optional<qint64> memoryHeadroom();

#if defined(Q_OS_LINUX)
// What the memory cgroups of a process leave it: the least, over its group and every ancestor
// that the mount shows, of the group's limit less what the group uses and cannot reclaim. Reads
// the hierarchies mounted at mountRoot (cgroup v2 there, v1's memory controller in its memory
// folder) for the groups that membership, the text of /proc/PID/cgroup, names. Nothing when no
// group is limited.
std::optional<qint64> cgroupMemoryRoom(const QByteArray &mountRoot, const QByteArray &membership);
#endif

#endif // VELTRANE_APP_MEMORYHEADROOM_H

#include "memoryheadroom.h"

#include <windows.h>
// windows.h first: psapi.h builds on its types.
#include <psapi.h>

#include <algorithm>

namespace {

// The least of the physical memory, the commit charge and the address space still available.
std::optional<qint64> systemAvailable()
{
    MEMORYSTATUSEX status {};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status))
        return std::nullopt;
    return static_cast<qint64>(
        std::min({ status.ullAvailPhys, status.ullAvailPageFile, status.ullAvailVirtual }));
}

// What the memory limit of the job object the process runs in leaves it. A job's limit for all
// its processes together is set against this process's use alone: the job a program is started
// in usually holds that program only.
std::optional<qint64> belowJobLimit()
{
    BOOL inJob = FALSE;
    if (!IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) || !inJob)
        return std::nullopt;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info {};
    if (!QueryInformationJobObject(
            nullptr, JobObjectExtendedLimitInformation, &info, sizeof info, nullptr))
        return std::nullopt;
    std::optional<qint64> limit;
    const DWORD flags = info.BasicLimitInformation.LimitFlags;
    if (flags & JOB_OBJECT_LIMIT_PROCESS_MEMORY)
        limit = static_cast<qint64>(info.ProcessMemoryLimit);
    if (flags & JOB_OBJECT_LIMIT_JOB_MEMORY) {
        const auto jobLimit = static_cast<qint64>(info.JobMemoryLimit);
        limit = std::min(limit.value_or(jobLimit), jobLimit);
    }
    if (!limit)
        return std::nullopt;
    PROCESS_MEMORY_COUNTERS_EX counters {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(),
            reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters), sizeof counters))
        return limit;
    return *limit - static_cast<qint64>(counters.PrivateUsage);
}

} // namespace

std::optional<qint64> memoryHeadroom()
{
    std::optional<qint64> headroom = systemAvailable();
    if (const std::optional<qint64> room = belowJobLimit())
        headroom = std::min(headroom.value_or(*room), *room);
    return headroom ? std::optional<qint64>(std::max<qint64>(*headroom, 0)) : std::nullopt;
}

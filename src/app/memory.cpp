#include "memory.h"

#if defined(Q_OS_LINUX)
#include <sys/resource.h>
#include <sys/sysinfo.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
// windows.h first: psapi.h builds on its types.
#include <psapi.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

#if defined(Q_OS_LINUX)

// The size in bytes on the line that starts with name in a /proc file of "name: size kB" lines;
// nothing when the file or the line is missing.
std::optional<qint64> bytesIn(const char *path, const char *name)
{
    std::FILE *file = std::fopen(path, "r");
    if (!file)
        return std::nullopt;
    std::optional<qint64> value;
    char line[256];
    const std::size_t nameLength = std::strlen(name);
    while (!value && std::fgets(line, sizeof line, file)) {
        long long number = 0;
        if (std::strncmp(line, name, nameLength) == 0
            && std::sscanf(line + nameLength, "%lld", &number) == 1)
            value = number * 1024;
    }
    std::fclose(file);
    return value;
}

// What a resource limit leaves above the current use of it.
std::optional<qint64> belowLimit(int resource, const char *statusField)
{
    rlimit limit {};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::nullopt;
    const std::optional<qint64> used = bytesIn("/proc/self/status", statusField);
    return static_cast<qint64>(limit.rlim_cur) - used.value_or(0);
}

std::optional<qint64> systemAvailable()
{
    if (const std::optional<qint64> available = bytesIn("/proc/meminfo", "MemAvailable:"))
        return available;
    struct sysinfo info = {};
    if (sysinfo(&info) != 0)
        return std::nullopt;
    return static_cast<qint64>(info.freeram + info.bufferram) * info.mem_unit;
}

#elif defined(Q_OS_WIN)

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

#endif

} // namespace

std::optional<qint64> memoryHeadroom()
{
#if defined(Q_OS_LINUX)
    std::optional<qint64> headroom;
    for (const std::optional<qint64> &room : { belowLimit(RLIMIT_AS, "VmSize:"),
             belowLimit(RLIMIT_DATA, "VmData:"), systemAvailable() }) {
        if (room)
            headroom = std::min(headroom.value_or(*room), *room);
    }
    return headroom ? std::optional<qint64>(std::max<qint64>(*headroom, 0)) : std::nullopt;
#elif defined(Q_OS_WIN)
    std::optional<qint64> headroom = systemAvailable();
    if (const std::optional<qint64> room = belowJobLimit())
        headroom = std::min(headroom.value_or(*room), *room);
    return headroom ? std::optional<qint64>(std::max<qint64>(*headroom, 0)) : std::nullopt;
#else
    return std::nullopt;
#endif
}

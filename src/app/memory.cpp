#include "memory.h"

#if defined(Q_OS_LINUX)
#include <sys/resource.h>
#include <sys/sysinfo.h>
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
#else
    return std::nullopt;
#endif
}

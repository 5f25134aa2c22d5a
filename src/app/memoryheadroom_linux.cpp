#include "memoryheadroom.h"

#include <QList>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

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

// Bytes that the heap holds freed for reuse; see freedmemory.h.
qint64 freedInHeap()
{
#if defined(__GLIBC__)
    return static_cast<qint64>(mallinfo2().fordblks);
#else
    return 0;
#endif
}

// What a resource limit leaves above the current use of it. Memory freed into the heap stays in
// the address space and the data segment, handed back or not, and is reused before they grow.
std::optional<qint64> belowLimit(int resource, const char *statusField)
{
    rlimit limit {};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::nullopt;
    const std::optional<qint64> used = bytesIn("/proc/self/status", statusField);
    return static_cast<qint64>(limit.rlim_cur) - used.value_or(0) + freedInHeap();
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

// A cgroup file in whole; these are small, and a page is all the kernel gives in one read.
std::optional<QByteArray> readCgroupFile(const QByteArray &path)
{
    const int file = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return std::nullopt;
    QByteArray content;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(file, buffer, sizeof buffer)) > 0)
        content.append(buffer, static_cast<int>(count));
    ::close(file);
    if (count < 0)
        return std::nullopt;
    return content;
}

// A limit or a use in bytes; nothing for "max", v1's page-rounded 2^63 that stands for no limit,
// or a missing file.
std::optional<qint64> cgroupBytes(const QByteArray &path)
{
    const std::optional<QByteArray> content = readCgroupFile(path);
    if (!content)
        return std::nullopt;
    bool ok = false;
    const qint64 bytes = content->trimmed().toLongLong(&ok);
    constexpr qint64 unlimited = qint64(1) << 62;
    return ok && bytes < unlimited ? std::optional<qint64>(bytes) : std::nullopt;
}

// The value of one "name value" line of memory.stat, 0 when it is not there.
qint64 cgroupStat(const QByteArray &path, const QByteArray &name)
{
    const std::optional<QByteArray> content = readCgroupFile(path);
    if (!content)
        return 0;
    for (const QByteArray &line : content->split('\n')) {
        if (line.size() > name.size() && line.startsWith(name) && line.at(name.size()) == ' ')
            return line.mid(name.size() + 1).toLongLong();
    }
    return 0;
}

struct CgroupFiles
{
    const char *limits[2];
    const char *usage;
    // File pages not recently used: the kernel takes them back before it runs out.
    const char *reclaimable;
};

constexpr CgroupFiles cgroupV2 { { "memory.max", "memory.high" }, "memory.current",
    "inactive_file" };
constexpr CgroupFiles cgroupV1 { { "memory.limit_in_bytes", nullptr }, "memory.usage_in_bytes",
    "total_inactive_file" };

// The least room over the group at path below hierarchy and its ancestors; a group that the
// hierarchy does not show, as in a container that sees only its own group, is skipped.
std::optional<qint64> roomInHierarchy(
    const QByteArray &hierarchy, QByteArray path, const CgroupFiles &files)
{
    std::optional<qint64> room;
    while (true) {
        const QByteArray group = hierarchy + path + '/';
        std::optional<qint64> limit;
        for (const char *name : files.limits) {
            if (!name)
                continue;
            if (const std::optional<qint64> bytes = cgroupBytes(group + name))
                limit = std::min(limit.value_or(*bytes), *bytes);
        }
        const std::optional<qint64> used = limit ? cgroupBytes(group + files.usage) : std::nullopt;
        if (used) {
            const qint64 kept = *used - cgroupStat(group + "memory.stat", files.reclaimable);
            const qint64 left = *limit - std::max<qint64>(kept, 0);
            room = std::min(room.value_or(left), left);
        }
        if (path.isEmpty())
            return room;
        const auto slash = path.lastIndexOf('/');
        path.truncate(slash < 0 ? 0 : slash);
    }
}

} // namespace

std::optional<qint64> cgroupMemoryRoom(const QByteArray &mountRoot, const QByteArray &membership)
{
    std::optional<QByteArray> v1Group;
    std::optional<QByteArray> v2Group;
    // Lines of "id:controllers:path"; "0::path" is the group in the v2 hierarchy.
    for (const QByteArray &line : membership.split('\n')) {
        const auto first = line.indexOf(':');
        const auto second = line.indexOf(':', first + 1);
        if (first < 0 || second < 0)
            continue;
        QByteArray path = line.mid(second + 1);
        if (path.endsWith('/'))
            path.chop(1);
        if (line.startsWith("0::"))
            v2Group = path;
        else if (line.mid(first + 1, second - first - 1).split(',').contains("memory"))
            v1Group = path;
    }
    // A controller is in one hierarchy only: where v1 has the memory controller, v2 has not.
    if (v1Group)
        return roomInHierarchy(mountRoot + "/memory", *v1Group, cgroupV1);
    if (v2Group)
        return roomInHierarchy(mountRoot, *v2Group, cgroupV2);
    return std::nullopt;
}

std::optional<qint64> memoryHeadroom()
{
    std::optional<qint64> headroom;
    const std::optional<QByteArray> membership = readCgroupFile("/proc/self/cgroup");
    for (const std::optional<qint64> &room :
        { belowLimit(RLIMIT_AS, "VmSize:"), belowLimit(RLIMIT_DATA, "VmData:"), systemAvailable(),
            membership ? cgroupMemoryRoom("/sys/fs/cgroup", *membership) : std::nullopt }) {
        if (room)
            headroom = std::min(headroom.value_or(*room), *room);
    }
    return headroom ? std::optional<qint64>(std::max<qint64>(*headroom, 0)) : std::nullopt;
}

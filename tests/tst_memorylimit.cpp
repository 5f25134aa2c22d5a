#include "freedmemory.h"
#include "memoryheadroom.h"
#include "windowdriver.h"

#include <QProcess>

#if defined(Q_OS_WIN)
#include <windows.h>
// windows.h first: psapi.h builds on its types.
#include <psapi.h>
#else
#include <QDeadlineTimer>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <vector>
#endif

#if defined(Q_OS_LINUX)
#include <QDir>
#include <QTemporaryDir>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The one limit on memory that each platform lets a process set on itself: its address space on
// Linux, the memory of a job object it puts itself in on Windows.
#if defined(Q_OS_WIN)

class MemoryLimit
{
public:
    // Allows the process headroom more bytes than it uses now.
    bool set(qint64 headroom)
    {
        PROCESS_MEMORY_COUNTERS_EX counters {};
        counters.cb = sizeof counters;
        if (!job
            || !GetProcessMemoryInfo(GetCurrentProcess(),
                reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters), sizeof counters))
            return false;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION info {};
        info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
        info.ProcessMemoryLimit = counters.PrivateUsage + static_cast<SIZE_T>(headroom);
        return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info)
            && AssignProcessToJobObject(job, GetCurrentProcess());
    }

    bool lift()
    {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION info {};
        return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info);
    }

private:
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
};

#else

class MemoryLimit
{
public:
    bool set(qint64 headroom)
    {
        const qint64 used = addressSpaceInUse();
        rlimit limit { static_cast<rlim_t>(used + headroom), RLIM_INFINITY };
        return used > 0 && setrlimit(RLIMIT_AS, &limit) == 0;
    }

    bool lift()
    {
        const rlimit limit { RLIM_INFINITY, RLIM_INFINITY };
        return setrlimit(RLIMIT_AS, &limit) == 0;
    }

private:
    static qint64 addressSpaceInUse()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmSize:"))
                return line.mid(7).trimmed().split(' ').first().toLongLong() * 1024;
        }
        return -1;
    }
};

#endif

// A child that exits with this has limited its memory, but the limit is not to be seen from inside
// the process, as under Wine, which neither reports nor enforces a job's limits.
constexpr int limitNotSeen = 3;

// How a run of this program as a child process ended, and what it printed.
struct ChildRun
{
    bool finished = false; // within two minutes
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    QByteArray output;
};

#if defined(Q_OS_WIN)

ChildRun runSelf(const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    ChildRun run;
    run.finished = child.waitForFinished(120000);
    run.exitStatus = child.exitStatus();
    run.exitCode = child.exitCode();
    run.output = child.readAllStandardOutput();
    return run;
}

#else

// With posix_spawn, not QProcess: the toolkit starts a process with clone(CLONE_PIDFD), which
// qemu-user (7.2) refuses, so that under emulation no child would start at all.
ChildRun runSelf(const QStringList &arguments)
{
    QList<QByteArray> strings { QFile::encodeName(QCoreApplication::applicationFilePath()) };
    for (const QString &argument : arguments)
        strings.append(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &string : strings)
        argv.push_back(string.data());
    argv.push_back(nullptr);

    ChildRun run;
    int out[2] = { -1, -1 };
    if (pipe2(out, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (error != 0) {
        close(out[0]);
        return run;
    }

    const QDeadlineTimer deadline(120000);
    pollfd readable { out[0], POLLIN, 0 };
    std::array<char, 4096> buffer {};
    bool timedOut = false;
    for (;;) {
        const int ready = poll(&readable, 1, static_cast<int>(deadline.remainingTime()));
        timedOut = ready == 0;
        if (timedOut)
            break;
        const ssize_t got = ready > 0 ? read(out[0], buffer.data(), buffer.size()) : -1;
        if (got > 0)
            run.output.append(buffer.data(), static_cast<int>(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    close(out[0]);
    run.finished = !timedOut;
    if (timedOut)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    run.exitStatus = WIFEXITED(status) ? QProcess::NormalExit : QProcess::CrashExit;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

#endif

#if defined(Q_OS_LINUX)

// Under a user-mode emulator such as qemu-user the kernel runs the emulator, built for the machine
// beneath, and the emulator answers for /proc/self/exe with the program it runs; opened relative to
// /proc/self, "exe" is what the kernel runs. On real hardware both are this program.
bool underEmulation()
{
    // The ELF header up to the machine that the program is built for.
    constexpr qint64 headerSize = 20;
    QFile built(QCoreApplication::applicationFilePath());
    const QByteArray builtFor
        = built.open(QIODevice::ReadOnly) ? built.read(headerSize) : QByteArray();

    QByteArray runningFor;
    const int self = open("/proc/self", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int exe = self >= 0 ? openat(self, "exe", O_RDONLY | O_CLOEXEC) : -1;
    if (self >= 0)
        close(self);
    QFile running;
    if (exe >= 0 && running.open(exe, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        runningFor = running.read(headerSize);
    else if (exe >= 0)
        close(exe);
    return builtFor.size() == headerSize && runningFor.size() == headerSize
        && builtFor != runningFor;
}

#endif

// In the child: pastes into one box ("text" or "hex"), or the text and its GBK hex into both,
// leaves the process headroomMib of memory above what it uses (none: no limit of its own), clicks
// and reports what became of the boxes.
int runChild(const char *boxes, int units, int headroomMib)
{
    const bool intoTextBox = std::strcmp(boxes, "hex") != 0;
    WindowDriver driver;
    driver.choose(QStringLiteral("radioButton_UTF8"));
    // Lines of text, cheap to paste; hex is one line.
    const QString line = QStringLiteral("你").repeated(99) + QLatin1Char('\n');
    const QString text = intoTextBox ? line.repeated(units / 100) : QString();
    QString hex = intoTextBox ? QString() : QStringLiteral("41").repeated(units / 2);
    if (std::strcmp(boxes, "both") == 0)
        hex = (QStringLiteral("C4E3").repeated(99) + QStringLiteral("0A")).repeated(units / 100);
    const QString converted = intoTextBox
        ? (QStringLiteral("E4BDA0").repeated(99) + QStringLiteral("0A")).repeated(units / 100)
        : QString(units / 2, QLatin1Char('A'));
    driver.textBox()->setPlainText(text);
    driver.hexBox()->setPlainText(hex);
    QApplication::processEvents();

    const qint64 headroom = qint64(headroomMib) * 1024 * 1024;
    MemoryLimit limit;
    if (headroom > 0) {
        if (!limit.set(headroom))
            return 2;
        // Below an address-space limit, what the heap holds freed counts as room as well: after
        // the paste of twenty million digits, with Qt 5, over three times the headroom.
        if (memoryHeadroom().value_or(headroom * 16) > headroom * 8) {
            limit.lift();
            return limitNotSeen;
        }
    }
    driver.clickTranslate();
    // The boxes lay out their text once the click is over.
    for (int i = 0; i < 3; ++i)
        QTest::qWait(10);
    // Room again to compare the boxes with what they held.
    if (headroom > 0 && !limit.lift())
        return 2;

    const bool unchanged
        = driver.textBox()->toPlainText() == text && driver.hexBox()->toPlainText() == hex;
    const auto converts = [&] {
        return intoTextBox ? driver.hexBox()->toPlainText() == converted
                           : driver.textBox()->toPlainText() == converted;
    };
    const bool done = converts();
    std::printf("unchanged %d converted %d messages %lld%s\n", int(unchanged), int(done),
        static_cast<long long>(driver.messages.size()),
        driver.messages.isEmpty()
            ? ""
            : qPrintable(QStringLiteral(" \"%1\"").arg(driver.messages.constLast().text)));
    if (headroomMib > 0)
        return 0;

    // What converted once converts again in the state it left; a refusal would leave the box
    // holding the same result, but warn.
    if (done) {
        const auto messages = driver.messages.size();
        driver.clickTranslate();
        for (int i = 0; i < 3; ++i)
            QTest::qWait(10);
        std::printf("again converted %d messages %lld\n",
            int(converts() && driver.messages.size() == messages),
            static_cast<long long>(driver.messages.size()));
    }

    // A cgroup's limit stays: under it, a short text must still convert.
    driver.textBox()->setPlainText(QStringLiteral("你好, world"));
    driver.clickTranslate();
    std::printf("then converts %d messages %lld\n",
        int(driver.hexBox()->toPlainText() == QStringLiteral("E4BDA0E5A5BD2C20776F726C64")),
        static_cast<long long>(driver.messages.size()));
    return 0;
}

#if defined(Q_OS_LINUX)

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}

// A memory cgroup of its own for a child process, removed again when done: cgroup v2 where the
// machine has it, else v1's memory controller, at the top of the hierarchy.
class MemoryCgroup
{
public:
    explicit MemoryCgroup(qint64 limit)
    {
        const bool v2 = QFile::exists(QStringLiteral("/sys/fs/cgroup/cgroup.controllers"));
        const QString hierarchy
            = QString::fromLatin1(v2 ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory");
        const QString limitFile
            = QString::fromLatin1(v2 ? "/memory.max" : "/memory.limit_in_bytes");
        if (!v2 && !QFile::exists(hierarchy + limitFile)) {
            reason = QStringLiteral("this machine has no memory cgroup controller");
            return;
        }
        const QString made = hierarchy + QStringLiteral("/veltrane-test-%1").arg(getpid());
        if (!QDir().mkdir(made)) {
            reason = QStringLiteral("cannot make a group in ") + hierarchy;
            return;
        }
        path = made;
        if (!writeFile(path + limitFile, QByteArray::number(limit))) {
            reason = QStringLiteral("cannot limit the memory of ") + path;
            return;
        }
        // Swapping instead of running out would hide a click that does not fit.
        writeFile(
            path + QString::fromLatin1(v2 ? "/memory.swap.max" : "/memory.memsw.limit_in_bytes"),
            v2 ? QByteArray("0") : QByteArray::number(limit));
        limited = true;
    }

    ~MemoryCgroup()
    {
        if (!path.isEmpty())
            QDir().rmdir(path);
    }

    MemoryCgroup(const MemoryCgroup &) = delete;
    MemoryCgroup &operator=(const MemoryCgroup &) = delete;

    QString path;
    QString reason;
    bool limited = false;
};

#endif

} // namespace

class TestMemoryLimit : public QObject
{
    Q_OBJECT

private slots:
    void clickUnderLimit_data();
    void clickUnderLimit();
#if defined(Q_OS_LINUX)
    void clickInMemoryCgroup_data();
    void clickInMemoryCgroup();
    void cgroupRoom_data();
    void cgroupRoom();
#endif
};

// What a child prints when its click was refused: both boxes as they were, and the message.
constexpr char refusedForMemory[]
    = "unchanged 1 converted 0 messages 1 \"Too long to convert in the memory available\"";

void TestMemoryLimit::clickUnderLimit_data()
{
    QTest::addColumn<bool>("intoTextBox");
    QTest::addColumn<int>("units");
    QTest::addColumn<QByteArray>("outcome");

    // 40 MiB above what the window uses with the paste in place. The hex of two million characters
    // does not fit in that, nor does the text of twenty million digits, which would end the
    // process when the text box took it.
    const auto row = [](const char *name, bool intoTextBox, int units, const char *outcome) {
        QTest::newRow(name) << intoTextBox << units << QByteArray(outcome);
    };
    row("text too large", true, 2000000, refusedForMemory);
    row("hex too large", false, 20000000, refusedForMemory);
    row("text that fits", true, 20000, "unchanged 0 converted 1 messages 0");
    row("hex that fits", false, 100000, "unchanged 0 converted 1 messages 0");
}

void TestMemoryLimit::clickUnderLimit()
{
    QFETCH(bool, intoTextBox);
    QFETCH(int, units);
    QFETCH(QByteArray, outcome);
    // QTest::qSkip() with return is QSKIP, whose one-argument form C++17's pedantic rules reject.
#if defined(Q_OS_LINUX)
    if (underEmulation()) {
        QTest::qSkip("runs under a user-mode emulator (qemu-user), which accepts an address-space "
                     "limit but does not apply it",
            __FILE__, __LINE__);
        return;
    }
#endif

    const ChildRun child = runSelf(
        { QStringLiteral("--child"), intoTextBox ? QStringLiteral("text") : QStringLiteral("hex"),
            QString::number(units), QStringLiteral("40") });
    QVERIFY(child.finished);
    QCOMPARE(child.exitStatus, QProcess::NormalExit);
#if defined(Q_OS_WIN)
    if (child.exitCode == limitNotSeen) {
        QTest::qSkip("the process cannot see the memory limit it set on itself (Wine hides job "
                     "limits)",
            __FILE__, __LINE__);
        return;
    }
#endif
    QCOMPARE(child.exitCode, 0);
    QCOMPARE(child.output.trimmed(), outcome);
}

#if defined(Q_OS_LINUX)

void TestMemoryLimit::clickInMemoryCgroup_data()
{
    QTest::addColumn<QString>("boxes");
    QTest::addColumn<int>("units");
    QTest::addColumn<int>("groupMib");
    QTest::addColumn<QByteArray>("outcome");

    // Two million characters fit in the text box of a process whose group allows it 160 MiB; their
    // hex, twelve million digits, cannot be shown there, and trying gets the process killed.
    QTest::newRow("text too large") << QStringLiteral(
        "text") << 2000000 << 160 << QByteArray(refusedForMemory) + "\nthen converts 1 messages 1";
    // A million characters with their GBK hex pasted beside convert in 696 MiB. Their UTF-8 hex
    // does not fit where the pasted hex was laid out, which the heap keeps freed: the same click
    // again fits only with that counted as room.
    QTest::newRow("same click twice")
        << QStringLiteral("both") << 1000000 << 696
        << QByteArray("unchanged 0 converted 1 messages 0\nagain converted 1 messages 0\nthen "
                      "converts 1 messages 0");
}

void TestMemoryLimit::clickInMemoryCgroup()
{
    QFETCH(QString, boxes);
    QFETCH(int, units);
    QFETCH(int, groupMib);
    QFETCH(QByteArray, outcome);

    const MemoryCgroup group(qint64(groupMib) * 1024 * 1024);
    if (!group.limited) {
        QTest::qSkip(qPrintable(group.reason), __FILE__, __LINE__);
        return;
    }

    const ChildRun child = runSelf({ QStringLiteral("--child"), boxes, QString::number(units),
        QStringLiteral("0"), group.path });
    QVERIFY(child.finished);
    QCOMPARE(child.exitStatus, QProcess::NormalExit);
    QCOMPARE(child.exitCode, 0);
    QCOMPARE(child.output.trimmed(), outcome);
}

void TestMemoryLimit::cgroupRoom_data()
{
    QTest::addColumn<QByteArray>("membership");
    // Each "file=content", below the mount root.
    QTest::addColumn<QStringList>("files");
    // -1: no limit.
    QTest::addColumn<qint64>("room");

    const QByteArray v1 = "5:memory:/app/sub\n1:cpu,cpuacct:/other\n0::/\n";
    const QString v1None = QStringLiteral("memory/memory.limit_in_bytes=9223372036854771712\n");
    const QByteArray v2 = "0::/user.slice/app.service\n";
    const QString v2None = QStringLiteral("max\n");

    QTest::newRow("v1 limited")
        << v1
        << QStringList { v1None, QStringLiteral("memory/app/sub/memory.limit_in_bytes=536870912"),
               QStringLiteral("memory/app/sub/memory.usage_in_bytes=136870912") }
        << qint64(400000000);
    QTest::newRow("v1 unlimited")
        << v1
        << QStringList { v1None,
               QStringLiteral("memory/app/sub/memory.limit_in_bytes=9223372036854771712"),
               QStringLiteral("memory/app/sub/memory.usage_in_bytes=136870912") }
        << qint64(-1);
    QTest::newRow("v1 ancestor lower")
        << v1
        << QStringList { v1None, QStringLiteral("memory/app/sub/memory.limit_in_bytes=1073741824"),
               QStringLiteral("memory/app/sub/memory.usage_in_bytes=136870912"),
               QStringLiteral("memory/app/memory.limit_in_bytes=536870912"),
               QStringLiteral("memory/app/memory.usage_in_bytes=336870912") }
        << qint64(200000000);
    QTest::newRow("v1 own group not shown")
        << v1
        << QStringList { QStringLiteral("memory/memory.limit_in_bytes=268435456"),
               QStringLiteral("memory/memory.usage_in_bytes=68435456") }
        << qint64(200000000);
    QTest::newRow("v1 cache the kernel takes back")
        << v1
        << QStringList { v1None, QStringLiteral("memory/app/sub/memory.limit_in_bytes=536870912"),
               QStringLiteral("memory/app/sub/memory.usage_in_bytes=436870912"),
               QStringLiteral("memory/app/sub/memory.stat=inactive_file 1\ntotal_active_file "
                              "2\ntotal_inactive_file 100000000\n") }
        << qint64(200000000);
    QTest::newRow("v2 memory.max")
        << v2
        << QStringList { QStringLiteral("user.slice/app.service/memory.max=536870912"),
               QStringLiteral("user.slice/app.service/memory.high=") + v2None,
               QStringLiteral("user.slice/app.service/memory.current=36870912") }
        << qint64(500000000);
    QTest::newRow("v2 memory.high lower")
        << v2
        << QStringList { QStringLiteral("user.slice/app.service/memory.max=536870912"),
               QStringLiteral("user.slice/app.service/memory.high=268435456"),
               QStringLiteral("user.slice/app.service/memory.current=68435456") }
        << qint64(200000000);
    QTest::newRow("v2 ancestor lower")
        << v2
        << QStringList { QStringLiteral("user.slice/app.service/memory.max=") + v2None,
               QStringLiteral("user.slice/app.service/memory.high=") + v2None,
               QStringLiteral("user.slice/app.service/memory.current=36870912"),
               QStringLiteral("user.slice/memory.max=1073741824"),
               QStringLiteral("user.slice/memory.current=873741824") }
        << qint64(200000000);
    QTest::newRow("v2 unlimited")
        << v2
        << QStringList { QStringLiteral("user.slice/app.service/memory.max=") + v2None,
               QStringLiteral("user.slice/app.service/memory.high=") + v2None,
               QStringLiteral("user.slice/app.service/memory.current=36870912"),
               QStringLiteral("user.slice/memory.max=") + v2None,
               QStringLiteral("user.slice/memory.current=36870912") }
        << qint64(-1);
    QTest::newRow("v2 cache the kernel takes back")
        << v2
        << QStringList { QStringLiteral("user.slice/app.service/memory.max=536870912"),
               QStringLiteral("user.slice/app.service/memory.current=436870912"),
               QStringLiteral("user.slice/app.service/memory.stat=active_file 1\ninactive_file "
                              "100000000\n") }
        << qint64(200000000);
}

void TestMemoryLimit::cgroupRoom()
{
    QFETCH(QByteArray, membership);
    QFETCH(QStringList, files);
    QFETCH(qint64, room);

    const QTemporaryDir root;
    QVERIFY(root.isValid());
    for (const QString &file : files) {
        const QString path = root.filePath(file.section(QLatin1Char('='), 0, 0));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QVERIFY(writeFile(path, file.section(QLatin1Char('='), 1).toUtf8()));
    }
    QCOMPARE(cgroupMemoryRoom(root.path().toLocal8Bit(), membership).value_or(-1), room);
}

#endif

int main(int argc, char *argv[])
{
    const bool child = (argc == 5 || argc == 6) && std::strcmp(argv[1], "--child") == 0;
#if defined(Q_OS_LINUX)
    // Before anything is allocated, so that all the child holds counts in the group.
    if (child && argc == 6
        && !writeFile(QString::fromLocal8Bit(argv[5]) + QStringLiteral("/cgroup.procs"),
            QByteArray::number(getpid())))
        return 2;
#endif
    if (child)
        keepFreedMemoryForReuse();
    QApplication app(argc, argv);
    if (child)
        return runChild(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    TestMemoryLimit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_memorylimit.moc"

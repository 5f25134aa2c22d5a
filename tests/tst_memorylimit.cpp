#include "allocator.h"
#include "memory.h"
#include "windowdriver.h"

#include <QProcess>

#if defined(Q_OS_WIN)
#include <windows.h>
// windows.h first: psapi.h builds on its types.
#include <psapi.h>
#else
#include <sys/resource.h>
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

// In the child: pastes into one box, leaves the process headroomMib of address space above what
// it uses, clicks and reports what became of the boxes.
int runChild(bool intoTextBox, int units, int headroomMib)
{
    WindowDriver driver;
    driver.choose(QStringLiteral("radioButton_UTF8"));
    // Lines of text, cheap to paste; hex is one line.
    const QString line = QStringLiteral("你").repeated(99) + QLatin1Char('\n');
    const QString text = intoTextBox ? line.repeated(units / 100) : QString();
    const QString hex = intoTextBox ? QString() : QStringLiteral("41").repeated(units / 2);
    const QString converted = intoTextBox
        ? (QStringLiteral("E4BDA0").repeated(99) + QStringLiteral("0A")).repeated(units / 100)
        : QString(units / 2, QLatin1Char('A'));
    driver.textBox()->setPlainText(text);
    driver.hexBox()->setPlainText(hex);
    QApplication::processEvents();

    const qint64 headroom = qint64(headroomMib) * 1024 * 1024;
    MemoryLimit limit;
    if (!limit.set(headroom))
        return 2;
    if (memoryHeadroom().value_or(headroom * 4) > headroom * 2) {
        limit.lift();
        return limitNotSeen;
    }
    driver.clickTranslate();
    // The boxes lay out their text once the click is over.
    for (int i = 0; i < 3; ++i)
        QTest::qWait(10);
    // Room again to compare the boxes with what they held.
    if (!limit.lift())
        return 2;

    const bool unchanged
        = driver.textBox()->toPlainText() == text && driver.hexBox()->toPlainText() == hex;
    const bool done = intoTextBox ? driver.hexBox()->toPlainText() == converted
                                  : driver.textBox()->toPlainText() == converted;
    std::printf("unchanged %d converted %d messages %lld\n", int(unchanged), int(done),
        static_cast<long long>(driver.messages.size()));
    return 0;
}

} // namespace

class TestMemoryLimit : public QObject
{
    Q_OBJECT

private slots:
    void clickUnderLimit_data();
    void clickUnderLimit();
};

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
    row("text too large", true, 2000000, "unchanged 1 converted 0 messages 1");
    row("hex too large", false, 20000000, "unchanged 1 converted 0 messages 1");
    row("text that fits", true, 20000, "unchanged 0 converted 1 messages 0");
    row("hex that fits", false, 100000, "unchanged 0 converted 1 messages 0");
}

void TestMemoryLimit::clickUnderLimit()
{
    QFETCH(bool, intoTextBox);
    QFETCH(int, units);
    QFETCH(QByteArray, outcome);

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--child"), intoTextBox ? QStringLiteral("text") : QStringLiteral("hex"),
            QString::number(units), QStringLiteral("40") });
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    if (child.exitCode() == limitNotSeen)
        QSKIP("the process cannot see the memory limit it set on itself (Wine hides job limits)");
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(child.readAllStandardOutput().trimmed(), outcome);
}

int main(int argc, char *argv[])
{
    const bool child = argc == 5 && std::strcmp(argv[1], "--child") == 0;
    if (child)
        keepFreedMemoryForReuse();
    QApplication app(argc, argv);
    if (child)
        return runChild(std::strcmp(argv[2], "text") == 0, std::atoi(argv[3]), std::atoi(argv[4]));
    TestMemoryLimit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_memorylimit.moc"

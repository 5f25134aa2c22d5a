// Measures the conversion core and whole clicks through the real window, each against a
// reference measured in the same run, and prints the ratios at the end.

#include "conversion.h"
#include "encodings.h"
#include "freedmemory.h"
#include "sampletext.h"
#include "windowdriver.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

constexpr int MiB = 1 << 20;

struct Sample
{
    QString text;
    int utf8Bytes = 0;
};

const Sample &sample(int mebibytes)
{
    static QMap<int, Sample> samples;
    auto it = samples.find(mebibytes);
    if (it == samples.end()) {
        Sample made;
        made.text = sampleText(mebibytes * MiB);
        made.utf8Bytes = static_cast<int>(made.text.toUtf8().size());
        it = samples.insert(mebibytes, made);
    }
    return *it;
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// Times the step until every event it caused has been handled, so layout and painting count too.
void timeStep(benchmark::State &state, const std::function<void()> &step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    settle();
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
}

// The real window, shown. Created in main() after the application object and destroyed before it.
WindowDriver *theWindow = nullptr;

WindowDriver &window()
{
    return *theWindow;
}

void choose(const WindowDriver &w, Encoding encoding)
{
    w.choose(QString::fromLatin1(choiceFor(encoding).button));
}

// Clicked by code rather than by the mouse, which would move the focus to the button as well.
void clickTranslate(const WindowDriver &w)
{
    w.window.findChild<QPushButton *>(QStringLiteral("pushButton"))->click();
}

void reset(const WindowDriver &w)
{
    w.textBox()->clear();
    w.hexBox()->clear();
    settle();
}

void pipeline(benchmark::State &state, Encoding encoding, int mebibytes)
{
    const Sample &input = sample(mebibytes);
    const QTextCodec *codec = codecFor(encoding);
    for (auto _ : state) {
        const QString hex = bytesToHex(encodeText(input.text, codec));
        const QString back = decodeBytes(*parseHex(hex), codec);
        benchmark::DoNotOptimize(back.constData());
    }
    state.SetBytesProcessed(state.iterations() * input.utf8Bytes);
}

// The same encoding and hex formatting done by standard command-line tools.
void yardstick(benchmark::State &state, int mebibytes)
{
    const Sample &input = sample(mebibytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(input.text.toUtf8()) != input.utf8Bytes) {
        state.SkipWithError("cannot write the input file");
        return;
    }
    file.close();
    const QString command
        = QStringLiteral("iconv -f UTF-8 -t GBK < '%1' | basenc --base16 -w0 > /dev/null")
              .arg(path);
    for (auto _ : state) {
        if (QProcess::execute(QStringLiteral("sh"), { QStringLiteral("-c"), command }) != 0) {
            state.SkipWithError("iconv | basenc failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * input.utf8Bytes);
}

void formatHex(benchmark::State &state)
{
    const QByteArray bytes = encodeText(sample(8).text, codecFor(Encoding::Utf8));
    for (auto _ : state)
        benchmark::DoNotOptimize(bytesToHex(bytes).constData());
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.counters["hex chars/s"] = benchmark::Counter(
        2.0 * static_cast<double>(bytes.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void parseHexText(benchmark::State &state)
{
    const QByteArray bytes = encodeText(sample(8).text, codecFor(Encoding::Utf8));
    const QString hex = bytesToHex(bytes);
    for (auto _ : state)
        benchmark::DoNotOptimize(parseHex(hex)->constData());
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.counters["hex chars/s"] = benchmark::Counter(
        static_cast<double>(hex.size()), benchmark::Counter::kIsIterationInvariantRate);
}

// Paste the text, click, and wait until every resulting event has been handled.
void click(benchmark::State &state, Encoding encoding, int mebibytes)
{
    const Sample &input = sample(mebibytes);
    WindowDriver &w = window();
    choose(w, encoding);
    for (auto _ : state) {
        reset(w);
        timeStep(state, [&] {
            w.textBox()->setPlainText(input.text);
            clickTranslate(w);
        });
    }
    if (w.textBox()->toPlainText() != input.text)
        state.SkipWithError("the round trip changed the text");
    reset(w);
}

// What the toolkit needs to show this hex text at all: one setPlainText into a plain box. With
// the scroll bar shown beforehand, the text is laid out once instead of twice.
void floorSetPlainText(benchmark::State &state, Encoding encoding, int mebibytes, bool barShown)
{
    const QString hex = bytesToHex(encodeText(sample(mebibytes).text, codecFor(encoding)));
    const QPlainTextEdit *hexBox = window().hexBox();
    for (auto _ : state) {
        QPlainTextEdit edit;
        edit.setWordWrapMode(hexBox->wordWrapMode());
        edit.resize(hexBox->size());
        if (barShown)
            edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit.show();
        settle();
        timeStep(state, [&] { edit.setPlainText(hex); });
    }
}

void hexToText(benchmark::State &state, int hexMebibytes)
{
    const QString hex
        = QStringLiteral("E4BDA0E5A5BD20776F726C640A").repeated(hexMebibytes * MiB / 26);
    WindowDriver &w = window();
    choose(w, Encoding::Utf8);
    for (auto _ : state) {
        state.PauseTiming();
        reset(w);
        w.hexBox()->setPlainText(hex);
        settle();
        state.ResumeTiming();
        timeStep(state, [&] { clickTranslate(w); });
    }
    reset(w);
}

// A click while the hex box holds hex the user pasted, which the click replaces: with a short text
// the cost is that of taking the pasted hex out, with the 8 MiB sample that of both.
void clickOverPastedHex(benchmark::State &state, int textMebibytes)
{
    const QString text
        = textMebibytes > 0 ? sample(textMebibytes).text : QStringLiteral("你好, world");
    const QString pasted = QStringLiteral("E4BDA0E5A5BD20776F726C640A").repeated(8 * MiB / 26);
    WindowDriver &w = window();
    choose(w, Encoding::Utf8);
    for (auto _ : state) {
        reset(w);
        w.hexBox()->setPlainText(pasted);
        w.textBox()->setPlainText(text);
        settle();
        timeStep(state, [&] { clickTranslate(w); });
    }
    if (w.textBox()->toPlainText() != text)
        state.SkipWithError("the round trip changed the text");
    reset(w);
}

// 1 MiB of hex digits as text: one run with no place to break a line, which the text box gets when
// hex is decoded whose bytes are themselves hex digits, or when hex is pasted into the wrong box.
QString hexDigits()
{
    return bytesToHex(encodeText(sample(1).text, codecFor(Encoding::Utf8))).left(MiB);
}

// Translate of hex that decodes to those digits, into the empty text box.
void translateToDigits(benchmark::State &state)
{
    const QString digits = hexDigits();
    const QString hex = bytesToHex(encodeText(digits, codecFor(Encoding::Utf8)));
    WindowDriver &w = window();
    choose(w, Encoding::Utf8);
    for (auto _ : state) {
        reset(w);
        w.hexBox()->setPlainText(hex);
        settle();
        timeStep(state, [&] { clickTranslate(w); });
    }
    if (w.textBox()->toPlainText() != digits)
        state.SkipWithError("the text box does not hold the digits");
    reset(w);
}

// The digits pasted into the empty text box with Ctrl+V.
void pasteDigits(benchmark::State &state)
{
    const QString digits = hexDigits();
    WindowDriver &w = window();
    for (auto _ : state) {
        reset(w);
        QApplication::clipboard()->setText(digits);
        settle();
        timeStep(state, [&] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_V, Qt::ControlModifier);
            QApplication::sendEvent(w.textBox(), &press);
            QApplication::sendEvent(w.textBox(), &release);
        });
    }
    if (w.textBox()->toPlainText() != digits)
        state.SkipWithError("the text box does not hold the digits");
    reset(w);
}

// What the toolkit needs to show the digits at all: one setPlainText into a plain box of the text
// box's size that wraps anywhere.
void floorDigits(benchmark::State &state)
{
    const QString digits = hexDigits();
    const QPlainTextEdit *textBox = window().textBox();
    for (auto _ : state) {
        QPlainTextEdit edit;
        edit.setWordWrapMode(QTextOption::WrapAnywhere);
        edit.resize(textBox->size());
        edit.show();
        settle();
        timeStep(state, [&] { edit.setPlainText(digits); });
    }
}

// Google Benchmark 1.8 renamed the flag of a run that did not complete; take whichever is there.
template<typename Run>
auto runFailed(const Run &run, int /*preferred*/) -> decltype(static_cast<bool>(run.error_occurred))
{
    return run.error_occurred;
}

template<typename Run>
auto runFailed(const Run &run, long /*fallback*/) -> decltype(static_cast<bool>(run.skipped))
{
    return static_cast<bool>(run.skipped);
}

// Remembers each result so that the figures can be set against their references at the end.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (runFailed(run, 0))
                continue;
            const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            const QByteArray name = QByteArray::fromStdString(run.run_name.function_name);
            results[name] = seconds;
            const auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end())
                rates[name] = rate->second.value;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-28s %10s %10s %7s  %s\n", "figure", "measured", "reference", "ratio",
            "reference is");
        for (const char *encoding : { "pipeline/UTF-8", "pipeline/GBK" }) {
            const double megabytesPerSecond = rates.value(encoding) / 1e6;
            printRow(encoding, megabytesPerSecond, rates.value("yardstick/iconv|basenc") / 1e6,
                "MB/s of iconv | basenc");
            printRow(encoding, megabytesPerSecond, 200, "MB/s, the target");
        }
        printRow("format hex", rates.value("format hex") / 1e9, 1, "GB/s, the target");
        printRow("parse hex", rates.value("parse hex") / 1e9, 1, "GB/s, the target");
        for (const char *size : { "1MiB", "8MiB" }) {
            for (const char *encoding : { "UTF-8", "GBK" }) {
                const QByteArray suffix = QByteArray(encoding) + '/' + size;
                const double seconds = results.value("click/" + suffix);
                printRow("click/" + suffix, seconds, results.value("floor/" + suffix),
                    "s of one setPlainText");
                printRow("click/" + suffix, seconds, results.value("floor, bar shown/" + suffix),
                    "s of one setPlainText, bar shown");
                printRow("click/" + suffix, seconds, std::strcmp(size, "1MiB") == 0 ? 0.35 : 3.0,
                    "s, the target");
            }
        }
        printRow("hex to text/16MiB", results.value("hex to text/16MiB"), 3, "s, the target");
        for (const char *name : { "over pasted hex/short text", "over pasted hex/8MiB text" }) {
            printRow(name, results.value(name), results.value("click/UTF-8/8MiB"),
                "s of a click into an empty hex box");
        }
        for (const char *name : { "translate to digits/1MiB", "paste digits/1MiB" }) {
            printRow(name, results.value(name), results.value("floor, anywhere/digits/1MiB"),
                "s of one setPlainText, wrap anywhere");
        }
    }

private:
    static void printRow(
        const QByteArray &name, double measured, double reference, const char *unit)
    {
        if (measured <= 0 || reference <= 0) {
            std::printf("%-28s %10s\n", name.constData(), "not run");
            return;
        }
        std::printf("%-28s %10.3f %10.3f %7.2f  %s\n", name.constData(), measured, reference,
            measured / reference, unit);
    }

    QMap<QByteArray, double> results;
    QMap<QByteArray, double> rates;
};

void registerBenchmarks()
{
    benchmark::RegisterBenchmark("pipeline/UTF-8", pipeline, Encoding::Utf8, 8);
    benchmark::RegisterBenchmark("pipeline/GBK", pipeline, Encoding::Gbk, 8);
    benchmark::RegisterBenchmark("yardstick/iconv|basenc", yardstick, 8)->UseRealTime();
    benchmark::RegisterBenchmark("format hex", formatHex);
    benchmark::RegisterBenchmark("parse hex", parseHexText);
    for (const int size : { 1, 8 }) {
        for (const Encoding encoding : { Encoding::Utf8, Encoding::Gbk }) {
            const std::string suffix
                = std::string(choiceFor(encoding).name) + '/' + std::to_string(size) + "MiB";
            const int iterations = size == 1 ? 5 : 2;
            benchmark::RegisterBenchmark(("click/" + suffix).c_str(), click, encoding, size)
                ->UseManualTime()
                ->Iterations(iterations)
                ->Unit(benchmark::kMillisecond);
            for (const bool barShown : { false, true }) {
                benchmark::RegisterBenchmark(
                    ((barShown ? "floor, bar shown/" : "floor/") + suffix).c_str(),
                    floorSetPlainText, encoding, size, barShown)
                    ->UseManualTime()
                    ->Iterations(iterations)
                    ->Unit(benchmark::kMillisecond);
            }
        }
    }
    benchmark::RegisterBenchmark("hex to text/16MiB", hexToText, 16)
        ->UseManualTime()
        ->Iterations(2)
        ->Unit(benchmark::kMillisecond);
    for (const int textSize : { 0, 8 }) {
        benchmark::RegisterBenchmark(
            textSize > 0 ? "over pasted hex/8MiB text" : "over pasted hex/short text",
            clickOverPastedHex, textSize)
            ->UseManualTime()
            ->Iterations(2)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("translate to digits/1MiB", translateToDigits)
        ->UseManualTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("paste digits/1MiB", pasteDigits)
        ->UseManualTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("floor, anywhere/digits/1MiB", floorDigits)
        ->UseManualTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
}

// One 8 MiB click and nothing else, for measuring the peak memory of a click from outside.
int clickOnce(int mebibytes)
{
    const Sample &input = sample(mebibytes);
    WindowDriver &w = window();
    choose(w, Encoding::Utf8);
    w.textBox()->setPlainText(input.text);
    clickTranslate(w);
    settle();
    std::printf("input bytes: %d\n", input.utf8Bytes);
    return w.textBox()->toPlainText() == input.text ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // As the program itself does; see freedmemory.h. VELTRANE_DEFAULT_ALLOCATOR=1 measures without.
    if (!qEnvironmentVariableIsSet("VELTRANE_DEFAULT_ALLOCATOR"))
        keepFreedMemoryForReuse();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowDriver shownWindow;
    settle();
    theWindow = &shownWindow;

    if (argc == 3 && std::strcmp(argv[1], "--click-once") == 0)
        return clickOnce(std::atoi(argv[2]));

    benchmark::Initialize(&argc, argv);
    registerBenchmarks();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

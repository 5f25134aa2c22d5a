// Plays a random session on the real window and checks it after every step against a model that
// knows only the conversion functions: what the boxes must hold, which messages may appear, and
// what one Ctrl+Z must bring back.
#include "conversion.h"
#include "veltrane.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>

namespace {

struct Choice
{
    const char *button;
    Encoding encoding;
};

// In the order on screen.
constexpr std::array<Choice, 8> choices = { {
    { "radioButton_GBK", Encoding::Gbk },
    { "radioButton_UTF16", Encoding::Utf16 },
    { "radioButton_ISO_2022_JP", Encoding::Iso2022Jp },
    { "radioButton_big5", Encoding::Big5 },
    { "radioButton_UTF8", Encoding::Utf8 },
    { "radioButton_shift_jis", Encoding::ShiftJis },
    { "radioButton_EUC_JP", Encoding::EucJp },
    { "radioButton_EUC_KR", Encoding::EucKr },
} };

// What the input bytes 0x80 to 0xFE stand for in typed text: Chinese, Korean (one syllable
// outside KS X 1001) and Japanese, characters only some codecs carry, line breaks of the
// toolkit's own, blanks that are not U+0020, a byte-order mark, noncharacters, the frame markers
// of the text document, and both halves of a surrogate pair, which also stand alone.
constexpr char16_t specials[] = { 0x4F60, 0x597D, 0xD55C, 0xB620, 0x3042, 0x6F22, 0xFF76, 0xFF21,
    0x20AC, 0xFF5E, 0x301C, 0x00A5, 0x203E, 0x00E9, 0x00DF, 0x00A0, 0x3000, 0x2028, 0x2029, 0xFEFF,
    0xFFFE, 0xFFFD, 0xFDD0, 0xFDD1, 0x0085, 0xD83D, 0xDE00 };

const QString warningText = QStringLiteral("Source text cannot be converted to target encoding");

// The input, read as a session; past its end every byte reads as zero.
class Reader
{
public:
    Reader(const std::uint8_t *data, std::size_t size)
        : next(data)
        , end(data + size)
    {
    }

    bool atEnd() const { return next == end; }
    unsigned byte() { return next == end ? 0 : *next++; }

    // A length byte, then per character one byte: ASCII as it is, 0xFF followed by any 16-bit
    // unit (big-endian), anything else one of the specials.
    QString text()
    {
        const unsigned length = byte() % 32;
        QString text;
        for (unsigned i = 0; i < length && !atEnd(); ++i) {
            const unsigned b = byte();
            if (b < 0x80) {
                text.append(QChar(static_cast<char16_t>(b)));
            } else if (b == 0xFF) {
                const unsigned high = byte();
                text.append(QChar(static_cast<char16_t>(high << 8 | byte())));
            } else {
                text.append(QChar(specials[(b - 0x80) % std::size(specials)]));
            }
        }
        return text;
    }

private:
    const std::uint8_t *next;
    const std::uint8_t *end;
};

std::string quoted(const QString &text)
{
    std::string out = "\"";
    int shown = 0;
    for (const QChar c : text) {
        if (++shown > 160) {
            out += "...";
            break;
        }
        const char16_t unit = c.unicode();
        if (unit >= 0x20 && unit < 0x7F && unit != u'"' && unit != u'\\') {
            out += static_cast<char>(unit);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
            out += escaped;
        }
    }
    return out + "\"";
}

// How the window reads a box: raw, with the document's line and paragraph separators as '\n'.
QString textOf(const QPlainTextEdit *edit)
{
    QString text = edit->document()->toRawText();
    for (QChar &c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    }
    return text;
}

// How a box holds a text put into it: every line break, the document's frame markers included,
// becomes one '\n'.
QString asHeld(const QString &text)
{
    QString held;
    held.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit == u'\r' && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            continue;
        const bool lineBreak = unit == u'\n' || unit == u'\r' || unit == 0x2028 || unit == 0x2029
            || unit == 0xFDD0 || unit == 0xFDD1;
        held.append(lineBreak ? QChar(u'\n') : text[i]);
    }
    return held;
}

// Blanks anywhere, and pairs of ASCII hex digits in either case.
bool isWellFormedHex(const QString &hex)
{
    int digits = 0;
    for (const QChar c : hex) {
        const char16_t unit = c.unicode();
        if (unit == u' ')
            continue;
        if (!((unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'F')
                || (unit >= u'a' && unit <= u'f')))
            return false;
        ++digits;
    }
    return digits % 2 == 0;
}

// No NUL and no lone surrogate: what UTF-8 and UTF-16 carry unchanged.
bool isCarriedByUnicode(const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isNull() || c.isLowSurrogate())
            return false;
        if (c.isHighSurrogate()) {
            if (i + 1 == text.size() || !text[i + 1].isLowSurrogate())
                return false;
            ++i;
        }
    }
    return true;
}

// Answers every window that opens besides the main one, the modal warning included, and keeps
// an account of each.
class WindowWatcher : public QObject
{
public:
    struct Shown
    {
        bool isWarning;
        std::string description;
    };

    QWidget *mainWindow = nullptr;
    QList<Shown> shown;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::Show || !object->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(object);
        if (!widget->isWindow() || widget == mainWindow)
            return false;

        auto *box = qobject_cast<QMessageBox *>(widget);
        const bool isWarning = box && box->windowTitle() == QLatin1String("warning")
            && box->text() == warningText && box->icon() == QMessageBox::Information
            && box->standardButtons() == QMessageBox::Ok && box->parentWidget() == mainWindow
            && box->isModal();
        shown.append({ isWarning,
            std::string(widget->metaObject()->className()) + " " + quoted(widget->windowTitle())
                + (box ? " " + quoted(box->text()) : std::string()) });
        // The modal loop starts after the show; the answer comes from inside it.
        QTimer::singleShot(0, widget, [widget] {
            if (auto *messageBox = qobject_cast<QMessageBox *>(widget))
                messageBox->done(QMessageBox::Ok);
            else
                widget->close();
        });
        return false;
    }
};

WindowWatcher *watcher = nullptr;

QtMessageHandler defaultMessageHandler = nullptr;

// The offscreen platform says this for every window it shows, thousands of times a minute.
void dropPlatformNotice(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message != QLatin1String("This plugin does not support propagateSizeHints()"))
        defaultMessageHandler(type, context, message);
}

struct Box
{
    explicit Box(const char *name)
        : name(name)
    {
    }

    const char *name;
    QPlainTextEdit *edit = nullptr;
    // What Translate last wrote here; anything else in the box the user entered.
    std::optional<QString> output;
    // What one Ctrl+Z must bring back: Translate replaced what the user had entered.
    std::optional<QString> undoTo;

    bool holdsEntered(const QString &content) const
    {
        return !content.isEmpty() && content != output;
    }
};

class Session
{
public:
    Session()
    {
        watcher->mainWindow = &window;
        window.show();
        text.edit = child<QPlainTextEdit>("plainTextEdit_res");
        hex.edit = child<QPlainTextEdit>("plainTextEdit_hex");
        translateButton = child<QPushButton>("pushButton");
        require(child<QRadioButton>(choices[0].button)->isChecked(),
            "the window opens with the first encoding chosen");
    }

    ~Session() { watcher->mainWindow = nullptr; }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    void play(Reader &input)
    {
        constexpr int maxSteps = 40;
        for (int step = 1; step <= maxSteps && !input.atEnd(); ++step) {
            watcher->shown.clear();
            int warnings = 0;
            switch (input.byte() % 10) {
            case 0:
                type(text, hex, input.text());
                break;
            case 1:
                type(hex, text, input.text());
                break;
            case 2:
                clear(text, hex);
                break;
            case 3:
                clear(hex, text);
                break;
            case 4:
                choose(choices[input.byte() % choices.size()]);
                break;
            case 5:
                warnings = translate();
                break;
            case 6:
                undo(text, hex);
                break;
            case 7:
                undo(hex, text);
                break;
            case 8:
                paste(text, hex, input.text());
                break;
            default:
                paste(hex, text, input.text());
                break;
            }
            QCoreApplication::processEvents();
            checkWindows(warnings);
        }
    }

private:
    template<typename T> T *child(const char *name) const
    {
        T *found = window.findChild<T *>(QLatin1String(name));
        if (!found) {
            std::fprintf(stderr, "the window has no %s\n", name);
            std::abort();
        }
        return found;
    }

    [[noreturn]] void fail(const char *rule, const std::string &detail) const
    {
        std::fprintf(stderr, "\nThe window broke a rule: %s\n%s\nSession:\n%s\n", rule,
            detail.c_str(), steps.c_str());
        std::abort();
    }

    void require(bool holds, const char *rule) const
    {
        if (!holds)
            fail(rule, std::string());
    }

    void requireEqual(const QString &actual, const QString &expected, const char *rule) const
    {
        if (actual != expected)
            fail(rule, "  expected " + quoted(expected) + "\n  actual   " + quoted(actual));
    }

    void log(const std::string &step) { steps += "  " + step + "\n"; }

    // At the cursor, wherever the program left it.
    void requireInserted(const Box &box, const QString &before, const QString &inserted) const
    {
        const QString after = textOf(box.edit);
        const QString held = asHeld(inserted);
        if (after.size() != before.size() + held.size() || !after.contains(held)) {
            fail("the box holds what was put in, its line breaks as line feeds",
                "  before " + quoted(before) + "\n  put in " + quoted(inserted) + "\n  after  "
                    + quoted(after));
        }
    }

    void type(Box &box, const Box &other, const QString &typed)
    {
        log(std::string("type into the ") + box.name + " box " + quoted(typed));
        const QString before = textOf(box.edit);
        const QString otherBefore = textOf(other.edit);
        box.edit->insertPlainText(typed);
        requireInserted(box, before, typed);
        requireEqual(textOf(other.edit), otherBefore, "typing changes only its own box");
        box.undoTo.reset();
    }

    void paste(Box &box, const Box &other, const QString &pasted)
    {
        log(std::string("paste into the ") + box.name + " box " + quoted(pasted));
        const QString before = textOf(box.edit);
        const QString otherBefore = textOf(other.edit);
        QGuiApplication::clipboard()->setText(pasted);
        QTest::keyClick(box.edit, Qt::Key_V, Qt::ControlModifier);
        requireInserted(box, before, pasted);
        requireEqual(textOf(other.edit), otherBefore, "pasting changes only its own box");
        box.undoTo.reset();
    }

    void clear(Box &box, const Box &other)
    {
        log(std::string("select all in the ") + box.name + " box and delete");
        const QString otherBefore = textOf(other.edit);
        QTextCursor cursor = box.edit->textCursor();
        cursor.select(QTextCursor::Document);
        cursor.removeSelectedText();
        box.edit->setTextCursor(cursor);
        requireEqual(textOf(box.edit), QString(), "deleting everything empties the box");
        requireEqual(textOf(other.edit), otherBefore, "deleting changes only its own box");
        box.undoTo.reset();
    }

    void choose(const Choice &choice)
    {
        log(std::string("choose ") + choice.button);
        const QString textBefore = textOf(text.edit);
        const QString hexBefore = textOf(hex.edit);
        auto *button = child<QRadioButton>(choice.button);
        button->click();
        require(button->isChecked(), "a clicked encoding is chosen");
        requireEqual(textOf(text.edit), textBefore, "choosing an encoding changes no box");
        requireEqual(textOf(hex.edit), hexBefore, "choosing an encoding changes no box");
        encoding = choice.encoding;
    }

    void undo(Box &box, const Box &other)
    {
        log(std::string("Ctrl+Z in the ") + box.name + " box");
        const QString otherBefore = textOf(other.edit);
        QTest::keyClick(box.edit, Qt::Key_Z, Qt::ControlModifier);
        if (box.undoTo) {
            requireEqual(textOf(box.edit), *box.undoTo,
                "one Ctrl+Z after Translate brings back what the user had entered in that box");
        }
        requireEqual(textOf(other.edit), otherBefore, "Ctrl+Z changes only its own box");
        box.undoTo.reset();
    }

    // Returns the number of warnings the click must show.
    int translate()
    {
        log("press Translate");
        const QString typed = textOf(text.edit);
        const QString hexBefore = textOf(hex.edit);
        const bool textWasEntered = text.holdsEntered(typed);
        const bool hexWasEntered = hex.holdsEntered(hexBefore);

        QTest::mouseClick(translateButton, Qt::LeftButton);

        const QString textAfter = textOf(text.edit);
        const QString hexAfter = textOf(hex.edit);
        const QTextCodec *codec = codecFor(encoding);
        int warnings = 0;
        if (!typed.isEmpty()) {
            const QString expectedHex = bytesToHex(encodeText(typed, codec));
            requireEqual(hexAfter, expectedHex,
                "with text in the text box, the hex box holds the hex of that text");
            const std::optional<QByteArray> bytes = parseHex(expectedHex);
            require(bytes.has_value(), "the program's own hex is well-formed");
            const QString roundTrip = asHeld(decodeBytes(*bytes, codec));
            requireEqual(textAfter, roundTrip, "the text box then holds that hex decoded");
            if ((encoding == Encoding::Utf8 || encoding == Encoding::Utf16)
                && isCarriedByUnicode(typed)) {
                requireEqual(roundTrip, typed,
                    "UTF-8 and UTF-16 carry any text without NUL or lone surrogates");
            }
            warnings = roundTrip != typed ? 1 : 0;
            hex.output = expectedHex;
            text.output = roundTrip;
        } else if (!hexBefore.isEmpty() && isWellFormedHex(hexBefore)) {
            const std::optional<QByteArray> bytes = parseHex(hexBefore);
            require(bytes.has_value(), "blanks and pairs of hex digits are well-formed hex");
            const QString decoded = asHeld(decodeBytes(*bytes, codec));
            requireEqual(textAfter, decoded, "well-formed hex decodes into the empty text box");
            requireEqual(hexAfter, hexBefore, "decoding leaves the hex box as it was");
            if (encoding == Encoding::Utf8 && bytes->startsWith("\xEF\xBB\xBF")) {
                require(decoded.startsWith(QChar(0xFEFF)), "UTF-8 decoding keeps a leading U+FEFF");
            }
            text.output = decoded;
        } else {
            requireEqual(textAfter, typed, "malformed hex leaves both boxes as they were");
            requireEqual(hexAfter, hexBefore, "malformed hex leaves both boxes as they were");
        }

        text.undoTo.reset();
        hex.undoTo.reset();
        if (textAfter != typed && textWasEntered)
            text.undoTo = typed;
        if (hexAfter != hexBefore && hexWasEntered)
            hex.undoTo = hexBefore;
        return warnings;
    }

    void checkWindows(int warnings) const
    {
        std::string seen;
        bool onlyWarnings = true;
        for (const WindowWatcher::Shown &shown : watcher->shown) {
            seen += "  shown: " + shown.description + "\n";
            onlyWarnings = onlyWarnings && shown.isWarning;
        }
        if (watcher->shown.size() != warnings || !onlyWarnings) {
            fail(warnings ? "exactly one warning when the text does not come back unchanged"
                          : "no message unless the text does not come back unchanged",
                seen);
        }
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget != &window && widget->isVisible())
                fail("no other window stays open", widget->metaObject()->className());
        }
    }

    Veltrane window { nullptr, {} };
    Box text { "text" };
    Box hex { "hex" };
    QPushButton *translateButton = nullptr;
    Encoding encoding = choices[0].encoding;
    std::string steps;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/)
{
    // Unless told otherwise: the Windows build's Qt has the windows platform alone.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    defaultMessageHandler = qInstallMessageHandler(dropPlatformNotice);
    static int argc = 1;
    static char name[] = "fuzz_window";
    static char *argv[] = { name, nullptr };
    // Lives as long as the process, like the application of the program itself.
    auto *app = new QApplication(argc, argv);
    watcher = new WindowWatcher;
    app->installEventFilter(watcher);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Reader input(data, size);
    {
        Session session;
        session.play(input);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

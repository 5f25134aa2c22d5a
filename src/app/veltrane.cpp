#include "veltrane.h"
#include "ui_veltrane.h"

#include "boxreplacer.h"
#include "conversion.h"
#include "freedmemory.h"
#include "longrunguard.h"
#include "memoryheadroom.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QTextDocument>

#include <new>
#include <utility>

namespace {

// Peak memory of showing text in a box, per 16-bit unit: one long line of hex costs about 45
// bytes a unit with Qt 5 and 6 alike, copies of the text and its layout together. Lines of text
// cost less, but a decoded text can be one line as well.
constexpr qint64 shownBytesPerUnit = 50;

// Encoding takes at most this many bytes per unit of text, but for escape sequences of ISO-2022-JP
// between single characters, which cannot fill a box.
constexpr qint64 encodedBytesPerUnit = 4;

// Decoding hex holds a copy of it, its bytes, and at most one unit of text for each byte.
constexpr qint64 hexBytesPerUnitDecoded = 4;

// What earlier clicks freed counts as used until the heap hands it back, so a click that just
// converted would be refused when it comes again; handing back only when short keeps reuse fast.
bool fitsInMemory(qint64 bytes)
{
    std::optional<qint64> headroom = memoryHeadroom();
    if (headroom && bytes > *headroom) {
        handBackFreedMemory();
        headroom = memoryHeadroom();
    }
    return !headroom || bytes <= *headroom;
}

// Shows the busy cursor while a conversion runs; long pastes can take a noticeable moment.
class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// The text as it is held. toPlainText() also turns no-break spaces into plain ones, which would
// show the bytes of a character that is not there; line breaks of either kind read as '\n'.
QString textOf(const QPlainTextEdit *edit)
{
    QString text = edit->document()->toRawText();
    for (QChar &c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    }
    return text;
}

} // namespace

Veltrane::Veltrane(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
    , ui(std::make_unique<Ui::VeltraneClass>())
{
    ui->setupUi(this);
    // Tab enters the encodings at the checked one, from either side. The toolkit leaves only that
    // one in the tab chain once one of them has had the focus, but not before.
    for (QRadioButton *button : ui->groupBox->findChildren<QRadioButton *>()) {
        if (!button->isChecked())
            button->setFocusPolicy(Qt::ClickFocus);
    }
    new LongRunGuard(ui->plainTextEdit_res); // owned by the text box
    connect(ui->pushButton, &QPushButton::clicked, this, &Veltrane::SLOT_OnTranslate);
    textReplacer = new BoxReplacer(ui->plainTextEdit_res, BoxReplacer::Box::Text);
    hexReplacer = new BoxReplacer(ui->plainTextEdit_hex, BoxReplacer::Box::Hex);
}

Veltrane::~Veltrane() = default;

QTextCodec *Veltrane::selectedCodec() const
{
    // Tested in this order, which is not the order on screen.
    const std::pair<const QRadioButton *, Encoding> choices[] = {
        { ui->radioButton_GBK, Encoding::Gbk },
        { ui->radioButton_EUC_JP, Encoding::EucJp },
        { ui->radioButton_ISO_2022_JP, Encoding::Iso2022Jp },
        { ui->radioButton_shift_jis, Encoding::ShiftJis },
        { ui->radioButton_UTF16, Encoding::Utf16 },
        { ui->radioButton_UTF8, Encoding::Utf8 },
        { ui->radioButton_big5, Encoding::Big5 },
        { ui->radioButton_EUC_KR, Encoding::EucKr },
    };
    for (const auto &[button, encoding] : choices) {
        if (button->isChecked())
            return codecFor(encoding);
    }
    return nullptr;
}

// The estimate covers the round trip that follows as well, with the hex still shown, so that a
// round trip that would not fit is refused before either box changes.
bool Veltrane::EncodeTextToHex()
{
    QString hex;
    try {
        const QString text = textOf(ui->plainTextEdit_res);
        if (!fitsInMemory(text.size() * encodedBytesPerUnit))
            return false;
        const QByteArray bytes = encodeText(text, selectedCodec());
        const std::optional<qsizetype> length = hexTextLength(bytes.size());
        if (!length
            || !fitsInMemory((*length * (shownBytesPerUnit + hexBytesPerUnitDecoded))
                + (text.size() * shownBytesPerUnit) + hexReplacer->historyBytes()
                + textReplacer->historyBytes()))
            return false;
        hex = bytesToHex(bytes);
    } catch (const std::bad_alloc &) {
        return false;
    }

    // Hex the user put there goes back with Ctrl+Z, also after further clicks.
    hexReplacer->replace(std::move(hex));
    return true;
}

// Malformed hex changes nothing and is no failure.
bool Veltrane::DecodeHexToText()
{
    QString text;
    try {
        const qint64 hexLength = ui->plainTextEdit_hex->document()->characterCount();
        if (!fitsInMemory(hexLength * hexBytesPerUnitDecoded))
            return false;
        const std::optional<QByteArray> bytes = parseHex(textOf(ui->plainTextEdit_hex));
        if (!bytes)
            return true;
        text = decodeBytes(*bytes, selectedCodec());
        // An unchanged text is left alone, keeping cursor, scroll position and undo history.
        if (text == textOf(ui->plainTextEdit_res))
            return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (!fitsInMemory((text.size() * shownBytesPerUnit) + textReplacer->historyBytes()))
        return false;
    textReplacer->replace(std::move(text));
    return true;
}

void Veltrane::SLOT_OnTranslate()
{
    bool fits = true;
    bool changed = false;
    {
        const BusyCursor busy;
        try {
            const QString typed = textOf(ui->plainTextEdit_res);
            if (typed.isEmpty()) {
                if (!ui->plainTextEdit_hex->document()->isEmpty())
                    fits = DecodeHexToText();
            } else {
                fits = EncodeTextToHex();
                if (fits) {
                    update();
                    fits = DecodeHexToText();
                }
                changed = textOf(ui->plainTextEdit_res) != typed;
            }
        } catch (const std::bad_alloc &) {
            fits = false;
        }
    }
    // A refusal for memory is no fault of the encoding: any other would be refused as well.
    if (!fits || changed) {
        QMessageBox::information(this, QStringLiteral("warning"),
            fits ? QStringLiteral("Source text cannot be converted to target encoding")
                 : QStringLiteral("Too long to convert in the memory available"));
    }
}

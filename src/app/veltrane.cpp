#include "veltrane.h"

#include "conversion.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <utility>

namespace {

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

// One undoable edit, so that Ctrl+Z brings back what the user had typed. An unchanged text is
// left alone, keeping cursor, scroll position and undo history as they are.
void replaceTextUndoably(QPlainTextEdit *edit, const QString &text)
{
    if (textOf(edit) == text)
        return;
    QTextCursor cursor(edit->document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
    cursor.endEditBlock();
}

// Hex text is one long line, and laying it out is the costliest step of a click. Holding the
// vertical scroll bar shown while the text goes in spares a second layout pass when the bar would
// otherwise appear halfway. Keeping the glyphs of that one layout spares the first paint from
// building them all again; the toolkit keeps them after a paint in any case.
void replaceHexText(QPlainTextEdit *edit, QString hex)
{
    const Qt::ScrollBarPolicy policy = edit->verticalScrollBarPolicy();
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->clear();

    QTextDocument *document = edit->document();
    document->firstBlock().layout()->setCacheEnabled(true);
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.insertText(hex);
    // The layout runs when the edit block closes; the document holds its own copy by then.
    hex.clear();
    cursor.endEditBlock();
    document->setUndoRedoEnabled(true);
    edit->moveCursor(QTextCursor::Start);

    edit->setVerticalScrollBarPolicy(policy);
}

} // namespace

Veltrane::Veltrane(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    ui.setupUi(this);
    connect(ui.pushButton, &QPushButton::clicked, this, &Veltrane::SLOT_OnTranslate);
}

Veltrane::~Veltrane() = default;

QTextCodec *Veltrane::selectedCodec() const
{
    // Tested in this order, which is not the order on screen.
    const std::pair<const QRadioButton *, Encoding> choices[] = {
        { ui.radioButton_GBK, Encoding::Gbk },
        { ui.radioButton_EUC_JP, Encoding::EucJp },
        { ui.radioButton_ISO_2022_JP, Encoding::Iso2022Jp },
        { ui.radioButton_shift_jis, Encoding::ShiftJis },
        { ui.radioButton_UTF16, Encoding::Utf16 },
        { ui.radioButton_UTF8, Encoding::Utf8 },
        { ui.radioButton_big5, Encoding::Big5 },
        { ui.radioButton_EUC_KR, Encoding::EucKr },
    };
    for (const auto &[button, encoding] : choices) {
        if (button->isChecked())
            return codecFor(encoding);
    }
    return nullptr;
}

void Veltrane::EncodeTextToHex()
{
    QString hex = bytesToHex(encodeText(textOf(ui.plainTextEdit_res), selectedCodec()));
    replaceHexText(ui.plainTextEdit_hex, std::move(hex));
}

void Veltrane::DecodeHexToText()
{
    const std::optional<QByteArray> bytes = parseHex(textOf(ui.plainTextEdit_hex));
    if (!bytes)
        return;
    replaceTextUndoably(ui.plainTextEdit_res, decodeBytes(*bytes, selectedCodec()));
}

void Veltrane::SLOT_OnTranslate()
{
    const QString typed = textOf(ui.plainTextEdit_res);
    if (typed.isEmpty()) {
        if (!ui.plainTextEdit_hex->document()->isEmpty()) {
            const BusyCursor busy;
            DecodeHexToText();
        }
        return;
    }

    bool changed = false;
    {
        const BusyCursor busy;
        EncodeTextToHex();
        update();
        DecodeHexToText();
        changed = textOf(ui.plainTextEdit_res) != typed;
    }
    if (changed) {
        QMessageBox::information(this, QStringLiteral("warning"),
            QStringLiteral("Source text cannot be converted to target encoding"));
    }
}

#include "codecbytes.h"
#include "encodings.h"
#include "windowdriver.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// As an input method commits text that has no key of its own.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QString repeated(const QString &unit, int count)
{
    return unit.repeated(count);
}

} // namespace

class TestTranslate : public QObject
{
    Q_OBJECT

private slots:
    void translate_data();
    void translate();
    void warningShowsOnceWithItsTexts();
    void longInputRoundTrips_data();
    void longInputRoundTrips();
    void longHexDecodesWhole();
    void longDecodeThenShort();
    void largePasteConverts();
    void busyCursorWhileConverting();
    void undoBringsBackTypedText();
    void cleanRoundTripKeepsTextBoxState();
    void undoBringsBackReplacedHex_data();
    void undoBringsBackReplacedHex();
    void historyStaysBounded_data();
    void historyStaysBounded();
};

void TestTranslate::translate_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("expectedHex");
    QTest::addColumn<int>("warnings");

    const QString utf8 = QStringLiteral("radioButton_UTF8");
    const QString utf16 = QStringLiteral("radioButton_UTF16");

    QTest::newRow("both empty") << utf8 << QString() << QString() << QString() << QString() << 0;
    QTest::newRow("text to hex") << utf8 << QStringLiteral("abc") << QString()
                                 << QStringLiteral("abc") << QStringLiteral("616263") << 0;
    QTest::newRow("text wins over hex") << utf8 << QStringLiteral("abc") << QStringLiteral("4142")
                                        << QStringLiteral("abc") << QStringLiteral("616263") << 0;
    QTest::newRow("text wins over malformed hex")
        << utf8 << QStringLiteral("abc") << QStringLiteral("zz") << QStringLiteral("abc")
        << QStringLiteral("616263") << 0;
    QTest::newRow("hex to text") << utf8 << QString() << QStringLiteral("4142")
                                 << QStringLiteral("AB") << QStringLiteral("4142") << 0;
    QTest::newRow("hex with blanks and lower case")
        << utf8 << QString() << QStringLiteral(" e4 bd a0 ") << QStringLiteral("你")
        << QStringLiteral(" e4 bd a0 ") << 0;
    QTest::newRow("hex stops at zero byte") << utf8 << QString() << QStringLiteral("410042")
                                            << QStringLiteral("A") << QStringLiteral("410042") << 0;
    QTest::newRow("hex blanks only")
        << utf8 << QString() << QStringLiteral("   ") << QString() << QStringLiteral("   ") << 0;
    QTest::newRow("odd hex untouched")
        << utf8 << QString() << QStringLiteral("41 4") << QString() << QStringLiteral("41 4") << 0;
    QTest::newRow("0x hex untouched")
        << utf8 << QString() << QStringLiteral("0x41") << QString() << QStringLiteral("0x41") << 0;
    QTest::newRow("hex lines untouched") << utf8 << QString() << QStringLiteral("61\n62\n")
                                         << QString() << QStringLiteral("61\n62\n") << 0;
    QTest::newRow("fullwidth hex untouched")
        << utf8 << QString() << QStringLiteral("４１") << QString() << QStringLiteral("４１") << 0;
    QTest::newRow("UTF-16 text") << utf16 << QStringLiteral("A") << QString() << QStringLiteral("A")
                                 << CodecBytes::utf16Hex(QStringLiteral("\uFEFFA")) << 0;
    QTest::newRow("UTF-16 big-endian hex")
        << utf16 << QString() << QStringLiteral("FEFF0041") << QStringLiteral("A")
        << QStringLiteral("FEFF0041") << 0;
    QTest::newRow("blank") << utf8 << QStringLiteral(" ") << QString() << QStringLiteral(" ")
                           << QStringLiteral("20") << 0;
    QTest::newRow("line break") << utf8 << QStringLiteral("\n") << QString() << QStringLiteral("\n")
                                << QStringLiteral("0A") << 0;
    QTest::newRow("UTF-8 leading U+FEFF")
        << utf8 << QStringLiteral("\uFEFFA") << QString() << QStringLiteral("\uFEFFA")
        << QStringLiteral("EFBBBF41") << 0;
    QTest::newRow("UTF-8 leading U+FEFF back")
        << utf8 << QString() << QStringLiteral("EFBBBF41") << QStringLiteral("\uFEFFA")
        << QStringLiteral("EFBBBF41") << 0;
    QTest::newRow("UTF-16 leading U+FEFF")
        << utf16 << QStringLiteral("\uFEFFA") << QString() << QStringLiteral("\uFEFFA")
        << CodecBytes::utf16Hex(QStringLiteral("\uFEFF\uFEFFA")) << 0;
    QTest::newRow("hangul in shift-jis")
        << QStringLiteral("radioButton_shift_jis") << QStringLiteral("한") << QString()
        << QStringLiteral("?") << QStringLiteral("3F") << 1;
    // Where a guess from the encoding's name would go wrong; what cannot come back warns.
    for (const CodecBytes::Conversion &row : CodecBytes::conversions) {
        QTest::newRow(row.name) << QString::fromLatin1(row.choice) << row.text << QString()
                                << row.back << QString::fromLatin1(row.hex)
                                << int(row.back != row.text);
    }

    // Every radio button reaches its own codec.
    const QByteArray utf16Hello = CodecBytes::utf16Hex(QStringLiteral("\uFEFF你好")).toLatin1();
    const struct
    {
        Encoding encoding;
        QString text;
        const char *hex;
    } perEncoding[] = {
        { Encoding::Gbk, QStringLiteral("你好，世界"), "C4E3BAC3A3ACCAC0BDE7" },
        { Encoding::EucJp, QStringLiteral("日本語"), "C6FCCBDCB8EC" },
        { Encoding::Iso2022Jp, QStringLiteral("日本語 text"),
            "1B2442467C4B5C386C1B28422074657874" },
        { Encoding::ShiftJis, QStringLiteral("日本語"), "93FA967B8CEA" },
        { Encoding::Utf16, QStringLiteral("你好"), utf16Hello.constData() },
        { Encoding::Utf8, QStringLiteral("你好"), "E4BDA0E5A5BD" },
        { Encoding::Big5, QStringLiteral("繁體中文"), "C163C5E9A4A4A4E5" },
        { Encoding::EucKr, QStringLiteral("한국어"), "C7D1B1B9BEEE" },
    };
    for (const auto &row : perEncoding) {
        const char *choice = choiceFor(row.encoding).button;
        QTest::newRow(choice) << QString::fromLatin1(choice) << row.text << QString() << row.text
                              << QString::fromLatin1(row.hex) << 0;
        QTest::newRow(qPrintable(QStringLiteral("%1 back").arg(QLatin1String(choice))))
            << QString::fromLatin1(choice) << QString() << QString::fromLatin1(row.hex) << row.text
            << QString::fromLatin1(row.hex) << 0;
    }
}

void TestTranslate::translate()
{
    QFETCH(QString, choice);
    QFETCH(QString, text);
    QFETCH(QString, hex);
    QFETCH(QString, expectedText);
    QFETCH(QString, expectedHex);
    QFETCH(int, warnings);

    WindowDriver driver;
    driver.choose(choice);
    driver.textBox()->setPlainText(text);
    driver.hexBox()->setPlainText(hex);
    driver.clickTranslate();

    QCOMPARE(driver.textBox()->toPlainText(), expectedText);
    QCOMPARE(driver.hexBox()->toPlainText(), expectedHex);
    QCOMPARE(driver.messages.size(), warnings);
}

void TestTranslate::warningShowsOnceWithItsTexts()
{
    WindowDriver driver;
    driver.choose(QStringLiteral("radioButton_EUC_KR"));
    driver.textBox()->setPlainText(QStringLiteral("Ελληνικά"));
    driver.clickTranslate();

    QCOMPARE(driver.messages.size(), 1);
    const ShownMessage &message = driver.messages.first();
    QCOMPARE(message.title, QStringLiteral("warning"));
    QCOMPARE(message.text, QStringLiteral("Source text cannot be converted to target encoding"));
    QCOMPARE(message.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(message.icon, QMessageBox::Information);
    QCOMPARE(message.parent, &driver.window);
    QVERIFY(!QApplication::overrideCursor());
}

void TestTranslate::longInputRoundTrips_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedHex");

    // A paragraph unit and its bytes, padded with 'a' to an exact encoded length.
    const QString unit = QStringLiteral("你好 world\n");
    const struct
    {
        const char *choice;
        const char *unitHex;
        int unitBytes;
    } encodings[] = {
        { "radioButton_UTF8", "E4BDA0E5A5BD20776F726C640A", 13 },
        { "radioButton_GBK", "C4E3BAC320776F726C640A", 11 },
    };
    for (const auto &encoding : encodings) {
        for (const int length : { 8191, 8192, 8193, 100000 }) {
            const int units = (length - 1) / encoding.unitBytes;
            const int padding = length - (units * encoding.unitBytes);
            QTest::newRow(qPrintable(
                QStringLiteral("%1 %2 bytes").arg(QLatin1String(encoding.choice)).arg(length)))
                << QString::fromLatin1(encoding.choice)
                << repeated(unit, units) + QString(padding, QLatin1Char('a'))
                << repeated(QString::fromLatin1(encoding.unitHex), units)
                    + repeated(QStringLiteral("61"), padding);
        }
    }
    // With the byte-order mark: 8190 bytes is the most a fixed 8192-byte buffer could decode.
    for (const int length : { 8190, 8192, 8194, 100000 }) {
        const QString text((length - 2) / 2, QChar(0x4F60));
        const QString hex = CodecBytes::utf16Hex(QChar(0xFEFF) + text);
        QTest::newRow(qPrintable(QStringLiteral("UTF-16 %1 bytes").arg(length)))
            << QStringLiteral("radioButton_UTF16") << text << hex;
    }
}

void TestTranslate::longInputRoundTrips()
{
    QFETCH(QString, choice);
    QFETCH(QString, text);
    QFETCH(QString, expectedHex);

    WindowDriver driver;
    driver.choose(choice);
    driver.textBox()->setPlainText(text);
    driver.clickTranslate();

    QCOMPARE(driver.hexBox()->toPlainText(), expectedHex);
    QCOMPARE(driver.textBox()->toPlainText(), text);
    QCOMPARE(driver.messages.size(), 0);
}

void TestTranslate::longHexDecodesWhole()
{
    WindowDriver driver;
    driver.choose(QStringLiteral("radioButton_UTF8"));
    driver.hexBox()->setPlainText(repeated(QStringLiteral("61"), 10000));
    driver.clickTranslate();
    QCOMPARE(driver.textBox()->toPlainText(), QString(10000, QLatin1Char('a')));
    QCOMPARE(driver.messages.size(), 0);
}

void TestTranslate::longDecodeThenShort()
{
    WindowDriver driver;
    driver.choose(QStringLiteral("radioButton_UTF8"));
    driver.hexBox()->setPlainText(repeated(QStringLiteral("61"), 9000));
    driver.clickTranslate();
    QCOMPARE(driver.textBox()->toPlainText().size(), 9000);

    driver.textBox()->clear();
    driver.hexBox()->setPlainText(QStringLiteral("62"));
    driver.clickTranslate();
    QCOMPARE(driver.textBox()->toPlainText(), QStringLiteral("b"));
}

void TestTranslate::largePasteConverts()
{
    WindowDriver driver;
    QCOMPARE(driver.hexBox()->wordWrapMode(), QTextOption::WrapAnywhere);
    driver.choose(QStringLiteral("radioButton_UTF8"));
    const QString unit = QStringLiteral("你好 world\n");
    const QString text = repeated(unit, 30000);
    driver.textBox()->setPlainText(text);
    driver.clickTranslate();

    QCOMPARE(driver.messages.size(), 0);
    QCOMPARE(driver.hexBox()->toPlainText(),
        repeated(QStringLiteral("E4BDA0E5A5BD20776F726C640A"), 30000));
    QCOMPARE(driver.textBox()->toPlainText(), text);
    // Shown from its start, like any freshly set text, and with nothing to undo.
    QCOMPARE(driver.hexBox()->textCursor().position(), 0);
    QCOMPARE(driver.hexBox()->verticalScrollBar()->value(), 0);
    QVERIFY(driver.hexBox()->verticalScrollBar()->isVisible());
    QVERIFY(!driver.hexBox()->document()->isUndoAvailable());
}

void TestTranslate::busyCursorWhileConverting()
{
    WindowDriver driver;
    QList<int> shapes;
    QObject::connect(driver.hexBox(), &QPlainTextEdit::textChanged, [&shapes] {
        shapes << (QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1);
    });
    driver.textBox()->setPlainText(QStringLiteral("abc"));
    driver.clickTranslate();

    QVERIFY(!shapes.isEmpty());
    for (const int shape : shapes)
        QCOMPARE(shape, int(Qt::WaitCursor));
    QVERIFY(!QApplication::overrideCursor());
}

void TestTranslate::undoBringsBackTypedText()
{
    WindowDriver driver;
    driver.choose(QStringLiteral("radioButton_shift_jis"));
    QTest::keyClicks(driver.textBox(), QStringLiteral("abc "));
    typeText(driver.textBox(), QStringLiteral("한국"));
    const QString typed = driver.textBox()->toPlainText();
    QCOMPARE(typed, QStringLiteral("abc 한국"));

    driver.clickTranslate();
    QCOMPARE(driver.messages.size(), 1);
    QCOMPARE(driver.textBox()->toPlainText(), QStringLiteral("abc ??"));

    QTest::keyClick(driver.textBox(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(driver.textBox()->toPlainText(), typed);
    QCOMPARE(driver.hexBox()->toPlainText(), QStringLiteral("616263203F3F"));
}

void TestTranslate::cleanRoundTripKeepsTextBoxState()
{
    WindowDriver driver;
    driver.choose(QStringLiteral("radioButton_UTF8"));
    QPlainTextEdit *box = driver.textBox();
    typeText(box, QStringLiteral("你好"));
    QTest::keyClicks(box, QStringLiteral(" world"));
    QTextCursor cursor = box->textCursor();
    cursor.setPosition(3);
    box->setTextCursor(cursor);
    const int undoSteps = box->document()->availableUndoSteps();
    QVERIFY(undoSteps > 0);

    QSignalSpy textChanges(box, &QPlainTextEdit::textChanged);
    driver.clickTranslate();

    QCOMPARE(driver.messages.size(), 0);
    QCOMPARE(textChanges.count(), 0);
    QCOMPARE(box->textCursor().position(), 3);
    QCOMPARE(box->document()->availableUndoSteps(), undoSteps);
    box->undo();
    QVERIFY(box->toPlainText() != QStringLiteral("你好 world"));
}

void TestTranslate::undoBringsBackReplacedHex_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("typed") << QStringLiteral("typed");
    QTest::newRow("pasted") << QStringLiteral("pasted");
    QTest::newRow("set by code") << QStringLiteral("set");
    QTest::newRow("output edited") << QStringLiteral("edited");
    QTest::newRow("emptied by hand") << QStringLiteral("emptied");
}

// Whatever did not come from the last click is hex the user entered: one Ctrl+Z brings it back.
void TestTranslate::undoBringsBackReplacedHex()
{
    QFETCH(QString, how);

    WindowDriver driver;
    driver.choose(QStringLiteral("radioButton_UTF8"));
    QPlainTextEdit *hexBox = driver.hexBox();
    if (how == QStringLiteral("typed")) {
        QTest::keyClicks(hexBox, QStringLiteral("e4bda0"));
    } else if (how == QStringLiteral("pasted")) {
        hexBox->insertPlainText(QStringLiteral("E4 BD A0\n41"));
    } else if (how == QStringLiteral("set")) {
        hexBox->setPlainText(QStringLiteral("e4bda0"));
    } else {
        driver.textBox()->setPlainText(QStringLiteral("abc"));
        driver.clickTranslate();
        QCOMPARE(hexBox->toPlainText(), QStringLiteral("616263"));
        hexBox->moveCursor(QTextCursor::End);
        if (how == QStringLiteral("edited"))
            QTest::keyClicks(hexBox, QStringLiteral("64"));
        else
            QTest::keyClicks(hexBox, QString(6, QLatin1Char('\b')));
    }
    const QString entered = hexBox->toPlainText();

    driver.textBox()->setPlainText(QStringLiteral(" "));
    driver.clickTranslate();
    QCOMPARE(hexBox->toPlainText(), QStringLiteral("20"));
    QCOMPARE(driver.textBox()->toPlainText(), QStringLiteral(" "));
    QCOMPARE(driver.messages.size(), 0);

    QTest::keyClick(hexBox, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(hexBox->toPlainText(), entered);
    QCOMPARE(driver.textBox()->toPlainText(), QStringLiteral(" "));

    // A second click over the program's own output does not forget what came before it. Redo is
    // Ctrl+Y on some platforms and Ctrl+Shift+Z on others (Wayland, X11).
    QTest::keySequence(hexBox, QKeySequence::Redo);
    QCOMPARE(hexBox->toPlainText(), QStringLiteral("20"));
    driver.textBox()->setPlainText(QStringLiteral("!"));
    driver.clickTranslate();
    QCOMPARE(hexBox->toPlainText(), QStringLiteral("21"));
    QTest::keyClick(hexBox, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(hexBox, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(hexBox->toPlainText(), entered);
}

void TestTranslate::historyStaysBounded_data()
{
    QTest::addColumn<bool>("inHexBox");
    QTest::newRow("hex box, clicks") << true;
    QTest::newRow("text box, edits and clicks") << false;
}

// However often clicks replace what the user entered, the box's history holds that and no more:
// the same number of steps after every click, and one Ctrl+Z leads to its start.
void TestTranslate::historyStaysBounded()
{
    QFETCH(bool, inHexBox);

    WindowDriver driver;
    driver.choose(QStringLiteral("radioButton_shift_jis"));
    QPlainTextEdit *box = inHexBox ? driver.hexBox() : driver.textBox();
    if (inHexBox)
        QTest::keyClicks(box, QStringLiteral("41 42"));
    QString entered = box->toPlainText();
    QList<int> undoSteps;
    for (int click = 0; click < 20; ++click) {
        if (inHexBox) {
            driver.textBox()->setPlainText(QString::number(click));
        } else {
            // Shift-JIS has no Hangul, so every click replaces the text.
            typeText(box, QStringLiteral("한"));
            entered = box->toPlainText();
        }
        driver.clickTranslate();
        undoSteps << box->document()->availableUndoSteps();
    }
    QCOMPARE(driver.messages.size(), inHexBox ? 0 : 20);
    QCOMPARE(undoSteps.count(undoSteps.first()), undoSteps.size());

    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box->toPlainText(), entered);
    QVERIFY(!box->document()->isUndoAvailable());
}

QTEST_MAIN(TestTranslate)
#include "tst_translate.moc"

#include "codecbytes.h"
#include "encodings.h"
#include "windowdriver.h"

#include <QTextBlock>
#include <QTextDocument>

namespace {

QString buttonFor(Encoding encoding)
{
    return QString::fromLatin1(choiceFor(encoding).button);
}

const QString gbk = buttonFor(Encoding::Gbk);
const QString eucJp = buttonFor(Encoding::EucJp);
const QString iso2022Jp = buttonFor(Encoding::Iso2022Jp);
const QString shiftJis = buttonFor(Encoding::ShiftJis);
const QString utf16 = buttonFor(Encoding::Utf16);
const QString utf8 = buttonFor(Encoding::Utf8);
const QString big5 = buttonFor(Encoding::Big5);
const QString eucKr = buttonFor(Encoding::EucKr);
const QStringList allChoices = [] {
    QStringList choices;
    for (const EncodingChoice &choice : encodingsInTestOrder)
        choices << QString::fromLatin1(choice.button);
    return choices;
}();

const QChar replacement = QChar::ReplacementCharacter;

QString units(std::initializer_list<char16_t> list)
{
    QString text;
    for (const char16_t unit : list)
        text.append(QChar(unit));
    return text;
}

struct Substitute
{
    QString text;
    QString hex;
};

// What a codec writes for count surrogates on their own is the codec's own business, and the
// toolkit's UTF-8 codec changed its mind with Qt 6: the replacement character there, '?' before.
Substitute loneSurrogateSubstitutes([[maybe_unused]] const QString &choice, int count)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    if (choice == utf8)
        return { QString(count, replacement), QStringLiteral("EFBFBD").repeated(count) };
#endif
    return { QString(count, QLatin1Char('?')), QStringLiteral("3F").repeated(count) };
}

QString latin1(const char *text)
{
    return QString::fromLatin1(text);
}

// What a box holds, character for character, with a line break between paragraphs.
// toPlainText() would hide some characters behind look-alikes.
QString heldText(const QPlainTextEdit *box)
{
    QString text;
    for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next()) {
        if (block != box->document()->begin())
            text += QLatin1Char('\n');
        text += block.text();
    }
    return text;
}

void addColumns()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("expectedHex");
    QTest::addColumn<int>("messages");
}

void addRow(const QString &name, const QString &choice, const QString &text, const QString &hex,
    const QString &expectedText, const QString &expectedHex, int messages)
{
    QTest::newRow(qPrintable(name))
        << choice << text << hex << expectedText << expectedHex << messages;
}

// Hex that must be rejected: nothing changes and nothing is said.
void addUntouched(const QString &name, const QString &choice, const QString &hex)
{
    addRow(name, choice, QString(), hex, QString(), hex, 0);
}

void addDecoded(
    const QString &name, const QString &choice, const char *hex, const QString &expectedText)
{
    addRow(name, choice, QString(), latin1(hex), expectedText, latin1(hex), 0);
}

// Pastes both boxes, presses Translate and compares the end state with the row. Whenever the text
// box ends up showing something else than it held, Ctrl+Z must bring that back.
void checkTranslation()
{
    QFETCH(QString, choice);
    QFETCH(QString, text);
    QFETCH(QString, hex);
    QFETCH(QString, expectedText);
    QFETCH(QString, expectedHex);
    QFETCH(int, messages);

    WindowDriver driver;
    driver.choose(choice);
    driver.textBox()->setPlainText(text);
    driver.hexBox()->setPlainText(hex);
    const QString typed = heldText(driver.textBox());
    driver.clickTranslate();

    QCOMPARE(heldText(driver.textBox()), expectedText);
    QCOMPARE(heldText(driver.hexBox()), expectedHex);
    QCOMPARE(driver.messages.size(), messages);
    if (expectedText != typed) {
        QTest::keyClick(driver.textBox(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(heldText(driver.textBox()), typed);
    }
}

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

private slots:
    void malformedHexUntouched_data();
    void malformedHexUntouched() { checkTranslation(); }
    void blanksOnlyHex_data();
    void blanksOnlyHex() { checkTranslation(); }
    void hugeHexPaste_data();
    void hugeHexPaste() { checkTranslation(); }
    void unusualSpacesKept_data();
    void unusualSpacesKept() { checkTranslation(); }
    void textWithNul_data();
    void textWithNul() { checkTranslation(); }
    void loneSurrogatesInText_data();
    void loneSurrogatesInText() { checkTranslation(); }
    void loneSurrogateEndsText_data();
    void loneSurrogateEndsText();
    void invalidBytes_data();
    void invalidBytes() { checkTranslation(); }
};

void TestBadInput::malformedHexUntouched_data()
{
    addColumns();

    // Each row under a different encoding in turn: rejection comes before any codec.
    int next = 0;
    const auto untouched = [&next](const QString &name, const QString &hex) {
        addUntouched(name, allChoices.at(next++ % allChoices.size()), hex);
    };

    for (const char *odd : { "4", "414", "41 4", " 4 1 4 ", "414243444", "4 " })
        untouched(QStringLiteral("odd count \"%1\"").arg(latin1(odd)), latin1(odd));

    for (char16_t letter = u'G'; letter <= u'Z'; ++letter) {
        for (const char16_t c : { letter, char16_t(letter - u'A' + u'a') })
            untouched(
                QStringLiteral("letter %1").arg(QChar(c)), QStringLiteral("41%1").arg(QChar(c)));
    }
    for (const char c : QByteArrayLiteral("!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~")) {
        untouched(QStringLiteral("punctuation %1").arg(QLatin1Char(c)),
            QStringLiteral("41%1").arg(QLatin1Char(c)));
    }
    for (const char *prefixed : { "0x41", "0X41", "41h", "\\x41", "#41", "U+0041", "%41" })
        untouched(QStringLiteral("notation %1").arg(latin1(prefixed)), latin1(prefixed));

    untouched(QStringLiteral("tab"), QStringLiteral("41\t42"));
    untouched(QStringLiteral("tabs only"), QStringLiteral("\t\t"));
    untouched(QStringLiteral("line feed"), QStringLiteral("41\n42"));
    untouched(QStringLiteral("trailing line feed"), QStringLiteral("4142\n"));
    untouched(QStringLiteral("line feeds only"), QStringLiteral("\n\n"));
    untouched(QStringLiteral("line separator"), QStringLiteral("41\u202842"));
    // The box turns these into paragraph breaks.
    addRow(QStringLiteral("carriage return"), eucKr, QString(), QStringLiteral("41\r42"), QString(),
        QStringLiteral("41\n42"), 0);
    addRow(QStringLiteral("paragraph separator"), big5, QString(), QStringLiteral("41\u202942"),
        QString(), QStringLiteral("41\n42"), 0);
    untouched(QStringLiteral("vertical tab"), QStringLiteral("41\v42"));
    untouched(QStringLiteral("form feed"), QStringLiteral("41\f42"));
    untouched(QStringLiteral("NUL"), units({ u'4', u'1', 0, u'4', u'2' }));
    untouched(QStringLiteral("NUL only"), units({ 0, 0 }));
    untouched(QStringLiteral("no-break space"), QStringLiteral("41\u00A042"));
    untouched(QStringLiteral("narrow no-break space"), QStringLiteral("41\u202F42"));
    untouched(QStringLiteral("ideographic space"), QStringLiteral("41\u300042"));
    untouched(QStringLiteral("zero width space"), QStringLiteral("41\u200B42"));
    untouched(QStringLiteral("byte-order mark"), QStringLiteral("\uFEFF4142"));
    untouched(QStringLiteral("soft hyphen"), QStringLiteral("41\u00AD42"));
    untouched(QStringLiteral("fullwidth digits"), QStringLiteral("４１４２"));
    untouched(QStringLiteral("fullwidth letters"), QStringLiteral("ＡＢ"));
    untouched(QStringLiteral("Arabic-Indic digits"), QStringLiteral("\u0664\u0661"));
    untouched(QStringLiteral("superscript digit"), QStringLiteral("4\u00B2"));
    untouched(QStringLiteral("accented letter"), QStringLiteral("4\u00E9"));
    untouched(QStringLiteral("Cyrillic look-alike"), QStringLiteral("4\u0410"));
    untouched(QStringLiteral("beyond U+FFFF, a digit"), QStringLiteral("41𝟘2"));
    untouched(QStringLiteral("beyond U+FFFF, an emoji"), QStringLiteral("😀"));
    untouched(QStringLiteral("lone high surrogate"), units({ u'4', 0xD800, u'1', u'4' }));
    untouched(QStringLiteral("lone low surrogate"), units({ u'4', u'1', 0xDC41, u'4' }));

    // Characters whose low byte alone would be a digit, at every place in runs long enough to be
    // read many digits at a time.
    const QString digits = QStringLiteral("0123456789ABCDEF0123456789abcdef");
    for (const char16_t lookalike : { char16_t(0x0130), char16_t(0x0141), char16_t(0x0166),
             char16_t(0xFF10), char16_t(0x2030), char16_t(0xDC30) }) {
        for (const int at : { 0, 7, 15, 16, 31 }) {
            QString hex = digits;
            hex[at] = QChar(lookalike);
            untouched(QStringLiteral("U+%1 at %2 of 32")
                          .arg(int(lookalike), 4, 16, QLatin1Char('0'))
                          .arg(at),
                hex);
        }
    }
    untouched(QStringLiteral("bad char after a long run"), digits.repeated(8) + QLatin1Char('g'));
    untouched(QStringLiteral("odd count after a long run"), digits.repeated(8) + QLatin1Char('1'));
}

void TestBadInput::blanksOnlyHex_data()
{
    addColumns();
    for (const int blanks : { 1, 2, 7, 10000 }) {
        const QString hex(blanks, QLatin1Char(' '));
        addRow(QStringLiteral("%1 blanks").arg(blanks), utf8, QString(), hex, QString(), hex, 0);
    }
    addRow(QStringLiteral("blanks in UTF-16"), utf16, QString(), QStringLiteral("   "), QString(),
        QStringLiteral("   "), 0);
}

void TestBadInput::hugeHexPaste_data()
{
    addColumns();

    // 16 MiB of hex digits: 2^17 lines of 64 bytes each.
    const QByteArray lineBytes("The quick brown fox jumps over the lazy dog; 0123456789 ABCDEF.\n");
    QCOMPARE(lineBytes.size(), 64);
    const QString line = QString::fromLatin1(lineBytes);
    const QString lineHex = QString::fromLatin1(lineBytes.toHex().toUpper());
    const int lines = 16 * 1024 * 1024 / int(lineHex.size());
    const QString hex = lineHex.repeated(lines);
    QCOMPARE(hex.size(), 16 * 1024 * 1024);

    addRow(
        QStringLiteral("16 MiB decodes whole"), utf8, QString(), hex, line.repeated(lines), hex, 0);

    QString badEnd = hex;
    badEnd[badEnd.size() - 1] = QLatin1Char('g');
    addUntouched(QStringLiteral("16 MiB, bad char at the very end"), utf8, badEnd);
}

void TestBadInput::unusualSpacesKept_data()
{
    addColumns();

    // The bytes shown are those of the character in the box, not of a look-alike.
    addRow(QStringLiteral("no-break space, UTF-8"), utf8, QStringLiteral("1\u00A0000"), QString(),
        QStringLiteral("1\u00A0000"), QStringLiteral("31C2A0303030"), 0);
    addRow(QStringLiteral("no-break space, UTF-16"), utf16, QStringLiteral("a\u00A0"), QString(),
        QStringLiteral("a\u00A0"), CodecBytes::utf16Hex(QStringLiteral("\uFEFFa\u00A0")), 0);
    addRow(QStringLiteral("no-break space decoded"), utf8, QString(), QStringLiteral("61C2A062"),
        QStringLiteral("a\u00A0b"), QStringLiteral("61C2A062"), 0);
    addRow(QStringLiteral("ideographic space, EUC-JP"), eucJp, QStringLiteral("a\u3000b"),
        QString(), QStringLiteral("a\u3000b"), QStringLiteral("61A1A162"), 0);
    // Shift+Enter puts a line separator in the box, which shows as a line break like Enter's.
    addRow(QStringLiteral("line separator is a line break"), utf8, QStringLiteral("a\u2028b"),
        QString(), QStringLiteral("a\u2028b"), QStringLiteral("610A62"), 0);
}

void TestBadInput::textWithNul_data()
{
    addColumns();

    // The NUL ends what is decoded, so the text comes back shorter and the warning shows.
    const QString abNulCd = units({ u'a', u'b', 0, u'c', u'd' });
    addRow(QStringLiteral("UTF-8"), utf8, abNulCd, QString(), QStringLiteral("ab"),
        QStringLiteral("6162006364"), 1);
    addRow(QStringLiteral("GBK"), gbk, abNulCd, QString(), QStringLiteral("ab"),
        QStringLiteral("6162006364"), 1);
    addRow(QStringLiteral("Shift-JIS"), shiftJis, abNulCd, QString(), QStringLiteral("ab"),
        QStringLiteral("6162006364"), 1);
    addRow(QStringLiteral("UTF-16"), utf16, abNulCd, QString(), QStringLiteral("ab"),
        CodecBytes::utf16Hex(QChar(0xFEFF) + abNulCd), 1);
    addRow(QStringLiteral("leading NUL empties the text"), utf8, units({ 0, u'a' }), QString(),
        QString(), QStringLiteral("0061"), 1);
    addRow(QStringLiteral("NUL only"), big5, units({ 0 }), QString(), QString(),
        QStringLiteral("00"), 1);
    addRow(QStringLiteral("trailing NUL"), eucKr, units({ u'a', 0 }), QString(),
        QStringLiteral("a"), QStringLiteral("6100"), 1);
    addRow(QStringLiteral("NUL after CJK"), eucJp,
        QStringLiteral("日本") + QChar(0) + QStringLiteral("語"), QString(), QStringLiteral("日本"),
        QStringLiteral("C6FCCBDC00B8EC"), 1);
    addRow(QStringLiteral("NUL in text, malformed hex"), utf8, units({ u'a', 0, u'b' }),
        QStringLiteral("zz"), QStringLiteral("a"), QStringLiteral("610062"), 1);
}

void TestBadInput::loneSurrogatesInText_data()
{
    addColumns();

    // No encoding but UTF-16 carries a surrogate on its own: it becomes the codec's substitute.
    const struct
    {
        const char *name;
        QString text;
    } texts[] = {
        { "high", units({ u'a', 0xD800, u'b' }) },
        { "low", units({ u'a', 0xDC00, u'b' }) },
        { "low then high", units({ u'a', 0xDC00, 0xD800, u'b' }) },
        { "two highs", units({ u'a', 0xDBFF, 0xDBFF, u'b' }) },
    };
    for (const auto &row : texts) {
        const int lone = int(row.text.size()) - 2;
        for (const QString &choice : allChoices) {
            const QString name = QStringLiteral("%1 %2").arg(latin1(row.name), choice.mid(12));
            if (choice == utf16) {
                addRow(name, choice, row.text, QString(), row.text,
                    CodecBytes::utf16Hex(QChar(0xFEFF) + row.text), 0);
            } else {
                const Substitute sub = loneSurrogateSubstitutes(choice, lone);
                addRow(name, choice, row.text, QString(),
                    QLatin1Char('a') + sub.text + QLatin1Char('b'),
                    QStringLiteral("61") + sub.hex + QStringLiteral("62"), 1);
            }
        }
    }
}

void TestBadInput::loneSurrogateEndsText_data()
{
    QTest::addColumn<QString>("choice");
    for (const QString &choice : allChoices)
        QTest::newRow(qPrintable(choice.mid(12))) << choice;
}

// A high surrogate at the end may be the first half of a pair still to come: an encoder may
// substitute it or leave it out. Either way the text changes, once, and Ctrl+Z restores it.
void TestBadInput::loneSurrogateEndsText()
{
    QFETCH(QString, choice);

    const QString typed = units({ u'a', 0xD83D });
    WindowDriver driver;
    driver.choose(choice);
    driver.textBox()->setPlainText(typed);
    driver.clickTranslate();

    const QString shown = heldText(driver.textBox());
    const QString hex = heldText(driver.hexBox());
    if (choice == utf16) {
        QCOMPARE(shown, typed);
        QCOMPARE(hex, CodecBytes::utf16Hex(QChar(0xFEFF) + typed));
        QCOMPARE(driver.messages.size(), 0);
        return;
    }
    const Substitute sub = loneSurrogateSubstitutes(choice, 1);
    QVERIFY2(
        shown == QStringLiteral("a") || shown == QStringLiteral("a") + sub.text, qPrintable(shown));
    QCOMPARE(
        hex, shown == QStringLiteral("a") ? QStringLiteral("61") : QStringLiteral("61") + sub.hex);
    QCOMPARE(driver.messages.size(), 1);
    QTest::keyClick(driver.textBox(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(heldText(driver.textBox()), typed);
}

void TestBadInput::invalidBytes_data()
{
    addColumns();
    const QString fffd(replacement);

    // One U+FFFD for each maximal invalid part, as every conforming decoder gives.
    addDecoded(QStringLiteral("UTF-8 byte FF"), utf8, "41FF42",
        QLatin1Char('A') + fffd + QLatin1Char('B'));
    addDecoded(QStringLiteral("UTF-8 byte FE"), utf8, "FE", fffd);
    addDecoded(QStringLiteral("UTF-8 lone continuation"), utf8, "4180", QLatin1Char('A') + fffd);
    addDecoded(QStringLiteral("UTF-8 lead then ASCII"), utf8, "C341", fffd + QLatin1Char('A'));
    addDecoded(QStringLiteral("UTF-8 overlong NUL"), utf8, "C080", fffd.repeated(2));
    addDecoded(QStringLiteral("UTF-8 encoded surrogate"), utf8, "EDA080", fffd.repeated(3));
    addDecoded(QStringLiteral("UTF-8 beyond U+10FFFF"), utf8, "F4908080", fffd.repeated(4));
    addDecoded(QStringLiteral("UTF-8 lead F5"), utf8, "F5808080", fffd.repeated(4));
    addDecoded(QStringLiteral("UTF-8 truncated, then valid"), utf8, "C3E4BDA0",
        fffd + QStringLiteral("你"));

    // A lead byte without a trail byte: the ASCII byte after it stays a character of its own.
    addDecoded(QStringLiteral("GBK lead then blank"), gbk, "C4E38120BAC3",
        QStringLiteral("你") + fffd + QLatin1Char(' ') + QStringLiteral("好"));
    addDecoded(QStringLiteral("EUC-JP lead then blank"), eucJp, "C6FCA120CBDC",
        QStringLiteral("日") + fffd + QLatin1Char(' ') + QStringLiteral("本"));
    addDecoded(QStringLiteral("EUC-JP byte FF"), eucJp, "41FF42",
        QLatin1Char('A') + fffd + QLatin1Char('B'));
    addDecoded(QStringLiteral("Shift-JIS lead then blank"), shiftJis, "93FA8120967B",
        QStringLiteral("日") + fffd + QLatin1Char(' ') + QStringLiteral("本"));
    addDecoded(QStringLiteral("Shift-JIS byte FD"), shiftJis, "41FD42",
        QLatin1Char('A') + fffd + QLatin1Char('B'));
    addDecoded(QStringLiteral("Big5 lead then blank"), big5, "A4A48120A4E5",
        QStringLiteral("中") + fffd + QLatin1Char(' ') + QStringLiteral("文"));
    addDecoded(QStringLiteral("EUC-KR lead then blank"), eucKr, "C7D1A120B1B9",
        QStringLiteral("한") + fffd + QLatin1Char(' ') + QStringLiteral("국"));
    addDecoded(QStringLiteral("ISO-2022-JP eight-bit byte"), iso2022Jp, "41C342",
        QLatin1Char('A') + fffd + QLatin1Char('B'));
    addDecoded(
        QStringLiteral("ISO-2022-JP eight-bit bytes"), iso2022Jp, "E4BDA0", fffd.repeated(3));

    // Bytes cut off at the end, as by hex copied short: one U+FFFD, with UTF-8 one a byte.
    const auto addCutOff
        = [](const char *name, const QString &choice, const char *hex, int substitutes = 1) {
              addDecoded(QStringLiteral("%1 cut off").arg(latin1(name)), choice, hex,
                  QLatin1Char('A') + QString(substitutes, replacement));
          };
    addCutOff("GBK", gbk, "41C4");
    addCutOff("EUC-JP", eucJp, "41C6");
    addCutOff("EUC-JP three-byte", eucJp, "418FB0");
    addCutOff("ISO-2022-JP half a character", iso2022Jp, "411B244246");
    addCutOff("ISO-2022-JP escape", iso2022Jp, "411B24");
    addCutOff("Shift-JIS", shiftJis, "4181");
    addCutOff("UTF-8 two of three", utf8, "41E4BD", 2);
    addCutOff("UTF-8 one of four", utf8, "41F0");
    addCutOff("Big5", big5, "41A4");
    addCutOff("EUC-KR", eucKr, "41B0");

    // A lone last byte shows as U+FFFD, the way a cut-off sequence does; every whole unit is
    // carried as it is.
    addDecoded(QStringLiteral("UTF-16 odd count"), utf16, "FFFE410042", QStringLiteral("A\uFFFD"));
    addDecoded(QStringLiteral("UTF-16 one byte"), utf16, "41", QStringLiteral("\uFFFD"));
    addDecoded(QStringLiteral("UTF-16 mark and a byte"), utf16, "FFFE41", QStringLiteral("\uFFFD"));
    addDecoded(QStringLiteral("UTF-16 big-endian odd count"), utf16, "FEFF004142",
        QStringLiteral("A\uFFFD"));
    addDecoded(QStringLiteral("UTF-16 lone high surrogate"), utf16, "FFFE00D84100",
        units({ 0xD800, u'A' }));
    addDecoded(QStringLiteral("UTF-16 lone low surrogate"), utf16, "FFFE410000DC",
        units({ u'A', 0xDC00 }));
    addDecoded(
        QStringLiteral("UTF-16 pair reversed"), utf16, "FFFE00DC3DD8", units({ 0xDC00, 0xD83D }));
    addDecoded(QStringLiteral("UTF-16 odd byte after a high surrogate"), utf16, "FFFE3DD841",
        units({ 0xD83D, 0xFFFD }));
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"

#include "codecbytes.h"
#include "conversion.h"
#include "encodings.h"

#include <QTest>
#include <QTextCodec>

Q_DECLARE_METATYPE(Encoding)

namespace {

QByteArray bytes(const char *hex)
{
    return QByteArray::fromHex(hex);
}

QByteArray bytes(const QString &hex)
{
    return QByteArray::fromHex(hex.toLatin1());
}

} // namespace

class TestConversion : public QObject
{
    Q_OBJECT

private slots:
    void codecLookup_data();
    void codecLookup();
    void encodeText_data();
    void encodeText();
    void noCodecGivesEmptyResults();
    void localeCodecIsFound();
    void bytesToHex_data();
    void bytesToHex();
    void hexTextLengthLimit_data();
    void hexTextLengthLimit();
    void allByteValuesAsCapitalPairs();
    void parseHexAccepts_data();
    void parseHexAccepts();
    void parseHexRejects_data();
    void parseHexRejects();
    void parsesWhatItFormats();
    void oneBadCharacterAnywhereRejects();
    void blankAnywhereIsDropped();
    void decodeBytes_data();
    void decodeBytes();
};

void TestConversion::codecLookup_data()
{
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<QByteArray>("codecName");

    for (const EncodingChoice &choice : encodingsInTestOrder)
        QTest::newRow(choice.codec) << choice.encoding << QByteArray(choice.codec);
}

void TestConversion::codecLookup()
{
    QFETCH(Encoding, encoding);
    QFETCH(QByteArray, codecName);

    const QTextCodec *codec = codecFor(encoding);
    QVERIFY(codec);
    QCOMPARE(codec->name(), codecName);
    QVERIFY(!codecFor(std::nullopt));
}

void TestConversion::encodeText_data()
{
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    // Byte sequences checked against iconv, except where noted.
    const QString ascii = QStringLiteral("Hello, world!");
    const QByteArray asciiBytes = bytes("48656C6C6F2C20776F726C6421");
    for (const EncodingChoice &choice : encodingsInTestOrder) {
        if (choice.encoding != Encoding::Utf16)
            QTest::newRow(qPrintable(QStringLiteral("%1 ascii").arg(QLatin1String(choice.name))))
                << choice.encoding << ascii << asciiBytes;
    }

    const QString chinese = QStringLiteral("你好，世界");
    const QString traditional = QStringLiteral("繁體中文");
    const QString japanese = QStringLiteral("日本語のテキスト");
    const QString korean = QStringLiteral("한국어 텍스트");

    QTest::newRow("GBK chinese") << Encoding::Gbk << chinese << bytes("C4E3BAC3A3ACCAC0BDE7");
    QTest::newRow("GBK japanese") << Encoding::Gbk << japanese
                                  << bytes("C8D5B1BED55AA4CEA5C6A5ADA5B9A5C8");
    QTest::newRow("GBK traditional") << Encoding::Gbk << traditional << bytes("B7B1F377D6D0CEC4");
    QTest::newRow("GBK mixed") << Encoding::Gbk << QStringLiteral("Mix 中文\n第二行")
                               << bytes("4D697820D6D0CEC40AB5DAB6FED0D0");
    QTest::newRow("EUC-JP japanese")
        << Encoding::EucJp << japanese << bytes("C6FCCBDCB8ECA4CEA5C6A5ADA5B9A5C8");
    QTest::newRow("EUC-JP chinese")
        << Encoding::EucJp << chinese.mid(1) << bytes("B9A5A1A4C0A4B3A6");
    QTest::newRow("ISO-2022-JP japanese then ascii")
        << Encoding::Iso2022Jp << QStringLiteral("日本語 text")
        << bytes("1B2442467C4B5C386C1B28422074657874");
    QTest::newRow("Shift-JIS japanese")
        << Encoding::ShiftJis << japanese << bytes("93FA967B8CEA82CC8365834C83588367");
    QTest::newRow("Shift-JIS traditional")
        << Encoding::ShiftJis << traditional << bytes("94C9E993928695B6");
    const std::pair<const char *, QString> utf16Texts[] = {
        { "UTF-16 ascii", QStringLiteral("A") },
        { "UTF-16 korean", QStringLiteral("한국어") },
        { "UTF-16 chinese", chinese },
    };
    for (const auto &[name, text] : utf16Texts) {
        QTest::newRow(name) << Encoding::Utf16 << text
                            << bytes(CodecBytes::utf16Hex(QChar(0xFEFF) + text));
    }
    QTest::newRow("UTF-8 chinese")
        << Encoding::Utf8 << QStringLiteral("你好") << bytes("E4BDA0E5A5BD");
    QTest::newRow("UTF-8 korean") << Encoding::Utf8 << korean
                                  << bytes("ED959CEAB5ADEC96B420ED858DEC8AA4ED8AB8");
    QTest::newRow("UTF-8 line break") << Encoding::Utf8 << QStringLiteral("\n") << bytes("0A");
    QTest::newRow("UTF-8 leading U+FEFF")
        << Encoding::Utf8 << QStringLiteral("\uFEFFA") << bytes("EFBBBF41");
    QTest::newRow("UTF-8 beyond the BMP")
        << Encoding::Utf8 << QStringLiteral("😀") << bytes("F09F9880");
    QTest::newRow("Big5 chinese") << Encoding::Big5 << chinese << bytes("A741A66EA141A540ACC9");
    QTest::newRow("Big5 traditional") << Encoding::Big5 << traditional << bytes("C163C5E9A4A4A4E5");
    QTest::newRow("EUC-KR korean")
        << Encoding::EucKr << korean << bytes("C7D1B1B9BEEE20C5D8BDBAC6AE");
    QTest::newRow("EUC-KR japanese")
        << Encoding::EucKr << japanese << bytes("ECEDDCE2E5DEAACEABC6ABADABB9ABC8");
    // What a legacy codec puts where it cannot carry a character: the toolkit's own choice.
    QTest::newRow("Shift-JIS hangul")
        << Encoding::ShiftJis << QStringLiteral("한국어 텍") << bytes("3F3F3F203F");
}

void TestConversion::encodeText()
{
    QFETCH(Encoding, encoding);
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);

    const QTextCodec *codec = codecFor(encoding);
    const QByteArray encoded = ::encodeText(text, codec);
    QCOMPARE(encoded.toHex().toUpper(), expected.toHex().toUpper());

    if (!expected.contains('?'))
        QCOMPARE(::decodeBytes(encoded, codec), text);
}

void TestConversion::noCodecGivesEmptyResults()
{
    QVERIFY(::encodeText(QStringLiteral("abc"), nullptr).isEmpty());
    QVERIFY(::decodeBytes(bytes("616263"), nullptr).isEmpty());
}

// Where the codecs are ICU's, the locale's is the converter of the system's code page; were its
// data missing, ICU would quietly take US-ASCII instead.
void TestConversion::localeCodecIsFound()
{
    const QTextCodec *codec = QTextCodec::codecForLocale();
    QVERIFY(codec);
    QVERIFY2(codec->name() != "US-ASCII", codec->name().constData());
}

void TestConversion::bytesToHex_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("abc") << QByteArray("abc") << QStringLiteral("616263");
    QTest::newRow("high bytes are not sign-extended")
        << bytes("E4BDA0E5A5BD") << QStringLiteral("E4BDA0E5A5BD");
    QTest::newRow("zero and edges") << bytes("00017F80FEFF") << QStringLiteral("00017F80FEFF");
}

void TestConversion::bytesToHex()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    QCOMPARE(::bytesToHex(input), expected);
}

void TestConversion::hexTextLengthLimit_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("expected");

    const qint64 most = maxTextLength / 2;
    QTest::newRow("none") << qint64(0) << qint64(0);
    QTest::newRow("one") << qint64(1) << qint64(2);
    QTest::newRow("the most") << most << most * 2;
    QTest::newRow("one more") << most + 1 << qint64(-1);
    // A size beyond int exists only where sizes are wider than int, not on 32-bit machines.
    if constexpr (sizeof(qsizetype) > sizeof(int))
        QTest::newRow("beyond int") << (qint64(1) << 33) << qint64(-1);
    QTest::newRow("negative") << qint64(-1) << qint64(-1);
}

// The most a QString of Qt 5 holds is 2^30 - 13 units; Qt 6 holds more.
static_assert(maxTextLength * 2 <= (qint64(1) << 31) - 26);

// The limit without allocating gigabytes.
void TestConversion::hexTextLengthLimit()
{
    QFETCH(qint64, bytes);
    QFETCH(qint64, expected);
    const std::optional<qsizetype> length = hexTextLength(bytes);
    QCOMPARE(length ? qint64(*length) : qint64(-1), expected);
}

void TestConversion::allByteValuesAsCapitalPairs()
{
    QByteArray all;
    for (int value = 0; value < 256; ++value)
        all.append(static_cast<char>(value));
    const QString hex = ::bytesToHex(all);
    QCOMPARE(hex.size(), 512);
    for (int value = 0, at = 0; value < 256; ++value, at += 2)
        QCOMPARE(
            hex.mid(at, 2), QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper());
}

void TestConversion::parseHexAccepts_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain") << QStringLiteral("616263") << QByteArray("abc");
    QTest::newRow("blanks between bytes") << QStringLiteral("61 62 63") << QByteArray("abc");
    QTest::newRow("blank inside a byte") << QStringLiteral("6 16263") << QByteArray("abc");
    QTest::newRow("one blank") << QStringLiteral("61 6263") << QByteArray("abc");
    QTest::newRow("blanks around") << QStringLiteral("  6 1  ") << QByteArray("a");
    QTest::newRow("lower case") << QStringLiteral("e4bda0") << bytes("E4BDA0");
    QTest::newRow("upper case") << QStringLiteral("E4BDA0") << bytes("E4BDA0");
    QTest::newRow("mixed case") << QStringLiteral("e4BdA0") << bytes("E4BDA0");
    QTest::newRow("every digit") << QStringLiteral("0123456789abcdefABCDEF")
                                 << bytes("0123456789ABCDEFABCDEF");
    QTest::newRow("zero bytes kept") << QStringLiteral("410042") << bytes("410042");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("blanks only") << QStringLiteral("    ") << QByteArray();
}

void TestConversion::parseHexAccepts()
{
    QFETCH(QString, hex);
    QFETCH(QByteArray, expected);

    const std::optional<QByteArray> parsed = parseHex(hex);
    QVERIFY(parsed);
    QCOMPARE(*parsed, expected);
}

void TestConversion::parseHexRejects_data()
{
    QTest::addColumn<QString>("hex");

    QTest::newRow("odd length") << QStringLiteral("616");
    QTest::newRow("odd after blanks") << QStringLiteral("41 4");
    QTest::newRow("single digit") << QStringLiteral("4");
    QTest::newRow("letter G") << QStringLiteral("6G");
    QTest::newRow("letter g") << QStringLiteral("g1");
    QTest::newRow("letter Z") << QStringLiteral("Z0");
    QTest::newRow("0x prefix") << QStringLiteral("0x41");
    QTest::newRow("line breaks") << QStringLiteral("61\n62\n");
    QTest::newRow("carriage return") << QStringLiteral("61\r62");
    QTest::newRow("tab") << QStringLiteral("41\t42");
    QTest::newRow("comma") << QStringLiteral("41,4");
    QTest::newRow("colon") << QStringLiteral("41:4");
    QTest::newRow("minus") << QStringLiteral("-1");
    QTest::newRow("NUL characters") << QString::fromUtf16(u"41\u0000\u000042", 6);
    QTest::newRow("no-break space") << QStringLiteral("41\u00A042");
    QTest::newRow("ideographic space") << QStringLiteral("41\u300042");
    QTest::newRow("fullwidth digits") << QStringLiteral("４１");
    QTest::newRow("fullwidth letters") << QStringLiteral("ＡＢ");
    QTest::newRow("superscript two") << QStringLiteral("4²");
    QTest::newRow("Latin-1 letter") << QStringLiteral("4é");
    QTest::newRow("beyond the BMP") << QStringLiteral("41𝟘");
    QTest::newRow("lone surrogate") << QString::fromUtf16(u"4\xD800", 2);
    QTest::newRow("digit after bad char") << QStringLiteral("4142x4");
}

void TestConversion::parseHexRejects()
{
    QFETCH(QString, hex);
    QVERIFY(!parseHex(hex));
}

void TestConversion::parsesWhatItFormats()
{
    QByteArray all;
    for (int round = 0; round < 40; ++round) {
        for (int value = 0; value < 256; ++value)
            all.append(static_cast<char>(value ^ round));
    }
    const std::optional<QByteArray> parsed = parseHex(::bytesToHex(all));
    QVERIFY(parsed);
    QCOMPARE(*parsed, all);

    const std::optional<QByteArray> lower = parseHex(::bytesToHex(all).toLower());
    QVERIFY(lower);
    QCOMPARE(*lower, all);
}

namespace {

// Long enough that several blocks of digits are taken at once, with a ragged end.
const QString longHex = QStringLiteral("0123456789abcdefABCDEF00ff7F80a5C3e4bda0F0");
const QByteArray longHexBytes = QByteArray::fromHex(longHex.toLatin1());

} // namespace

void TestConversion::oneBadCharacterAnywhereRejects()
{
    // Among them characters whose low byte is a digit, and ones that a narrowing to 8 bits
    // would clamp or wrap onto a digit.
    const char16_t bad[] = { u'g', u'G', u'x', u'/', u':', u'@', u'`', u'\t', u'\n', u'\0', 0x00B3,
        0x0130, 0x0161, 0x0230, 0x0441, 0x3030, 0x8030, 0xFF10, 0xFF41, 0xD800, 0xFFFF };
    for (int position = 0; position < longHex.size(); ++position) {
        for (const char16_t c : bad) {
            QString hex = longHex;
            hex[position] = QChar(c);
            QVERIFY2(!parseHex(hex),
                qPrintable(QStringLiteral("U+%1 at %2").arg(int(c), 4, 16).arg(position)));
        }
    }
}

void TestConversion::blankAnywhereIsDropped()
{
    for (int position = 0; position <= longHex.size(); ++position) {
        QString hex = longHex;
        hex.insert(position, QLatin1Char(' '));
        const std::optional<QByteArray> parsed = parseHex(hex);
        QVERIFY2(parsed, qPrintable(QStringLiteral("blank at %1").arg(position)));
        QCOMPARE(*parsed, longHexBytes);
    }
}

void TestConversion::decodeBytes_data()
{
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("UTF-8") << Encoding::Utf8 << bytes("E4BDA0") << QStringLiteral("你");
    QTest::newRow("UTF-8 stops at zero")
        << Encoding::Utf8 << bytes("410042") << QStringLiteral("A");
    QTest::newRow("UTF-8 leading zero") << Encoding::Utf8 << bytes("0041") << QString();
    // EF BB BF is a character in UTF-8, and two others in GBK; only UTF-16 has a byte-order mark.
    QTest::newRow("UTF-8 leading EFBBBF")
        << Encoding::Utf8 << bytes("EFBBBF41") << QStringLiteral("\uFEFFA");
    QTest::newRow("UTF-8 EFBBBF twice")
        << Encoding::Utf8 << bytes("EFBBBFEFBBBF") << QStringLiteral("\uFEFF\uFEFF");
    QTest::newRow("GBK leading EFBBBF")
        << Encoding::Gbk << bytes("EFBBBF41") << QStringLiteral("\u9518\u7DFC");
    QTest::newRow("GBK stops at zero")
        << Encoding::Gbk << bytes("C4E300BAC3") << QStringLiteral("你");
    QTest::newRow("empty") << Encoding::Gbk << QByteArray() << QString();
    QTest::newRow("UTF-16 little-endian mark")
        << Encoding::Utf16 << bytes("FFFE4100") << QStringLiteral("A");
    QTest::newRow("UTF-16 big-endian mark")
        << Encoding::Utf16 << bytes("FEFF0041") << QStringLiteral("A");
    QTest::newRow("UTF-16 big-endian mark, two units")
        << Encoding::Utf16 << bytes("FEFF4F60597D") << QStringLiteral("你好");
    QTest::newRow("UTF-16 no mark is host order")
        << Encoding::Utf16 << bytes("4100") << QString(CodecBytes::utf16Unit(0x41, 0x00));
    QTest::newRow("UTF-16 no mark, big-endian bytes read as host order")
        << Encoding::Utf16 << bytes("0041") << QString(CodecBytes::utf16Unit(0x00, 0x41));
    QTest::newRow("UTF-16 zero unit ends text")
        << Encoding::Utf16 << bytes("FFFE4100000042004300") << QStringLiteral("A");
    QTest::newRow("UTF-16 zero byte inside a unit does not")
        << Encoding::Utf16 << bytes("FFFE41004200") << QStringLiteral("AB");
    // A lone last byte is half a unit: no zero byte that nobody wrote completes it.
    QTest::newRow("UTF-16 odd trailing byte")
        << Encoding::Utf16 << bytes("FFFE410060") << QStringLiteral("A\uFFFD");
    QTest::newRow("UTF-16 mark and one byte")
        << Encoding::Utf16 << bytes("FFFE60") << QStringLiteral("\uFFFD");
    QTest::newRow("UTF-16 single byte")
        << Encoding::Utf16 << bytes("41") << QStringLiteral("\uFFFD");
    QTest::newRow("UTF-16 odd trailing zero")
        << Encoding::Utf16 << bytes("410000")
        << (QString(CodecBytes::utf16Unit(0x41, 0x00)) + QChar(QChar::ReplacementCharacter));
    QTest::newRow("UTF-16 odd byte after a zero unit")
        << Encoding::Utf16 << bytes("FFFE4100000042") << QStringLiteral("A");
    QTest::newRow("UTF-16 surrogate pair")
        << Encoding::Utf16 << bytes("FFFE3DD800DE") << QStringLiteral("😀");
    // Raw data has no zero byte after it, nor anything that could join the odd byte.
    static const char unterminated[] = { '\xFF', '\xFE', 'A', '\0', 'B', 'C' };
    QTest::newRow("UTF-16 odd trailing byte of raw data")
        << Encoding::Utf16 << QByteArray::fromRawData(unterminated, 5) << QStringLiteral("A\uFFFD");
    QTest::newRow("UTF-16 single byte of raw data")
        << Encoding::Utf16 << QByteArray::fromRawData(unterminated + 4, 1)
        << QStringLiteral("\uFFFD");

    // Longer than any fixed buffer would hold: decoded whole.
    QTest::newRow("long UTF-8") << Encoding::Utf8 << QByteArray(20000, 'a')
                                << QString(20000, QLatin1Char('a'));
    QByteArray longUtf16 = bytes("FFFE");
    for (int i = 0; i < 10000; ++i)
        longUtf16 += bytes("6100");
    QTest::newRow("long UTF-16") << Encoding::Utf16 << longUtf16
                                 << QString(10000, QLatin1Char('a'));
}

void TestConversion::decodeBytes()
{
    QFETCH(Encoding, encoding);
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);

    QCOMPARE(::decodeBytes(input, codecFor(encoding)), expected);
}

QTEST_GUILESS_MAIN(TestConversion)
#include "tst_conversion.moc"

#ifndef VELTRANE_TESTS_CODECBYTES_H
#define VELTRANE_TESTS_CODECBYTES_H

#include <QByteArray>
#include <QString>
#include <QSysInfo>

// What the toolkit's codecs give where platforms differ, each platform's in one place. Debian's
// toolkit serves the eight names with ICU's converters; a Windows build has QtCore's own codecs.
namespace CodecBytes {

struct Conversion
{
    const char *name;
    const char *choice; // the radio button
    QString text;
    const char *hex;
    // What the hex decodes to: the text, but where the codec could not carry it.
    QString back;
};

#if defined(Q_OS_WIN)

// EUC-KR proper, not its Windows superset.
inline const char eucKrCodecName[] = "EUC-KR";

inline const Conversion conversions[] = {
    { "GBK euro", "radioButton_GBK", QStringLiteral("€"), "A2E3", QStringLiteral("€") },
    { "GBK leading U+FEFF", "radioButton_GBK", QStringLiteral("\uFEFFA"), "3F41",
        QStringLiteral("?A") },
    { "EUC-KR euro", "radioButton_EUC_KR", QStringLiteral("€"), "3F", QStringLiteral("?") },
    { "EUC-KR hangul outside KS X 1001", "radioButton_EUC_KR", QStringLiteral("똠"), "3F",
        QStringLiteral("?") },
    { "EUC-JP hanzi outside JIS", "radioButton_EUC_JP", QStringLiteral("你"), "3F",
        QStringLiteral("?") },
    // Ends in ASCII, and steps into ASCII around a substitute as well.
    { "ISO-2022-JP kanji last", "radioButton_ISO_2022_JP", QStringLiteral("日本"),
        "1B2442467C4B5C1B2842", QStringLiteral("日本") },
    { "ISO-2022-JP hangul", "radioButton_ISO_2022_JP", QStringLiteral("a한b"), "611B28423F1B284262",
        QStringLiteral("a?b") },
    // The ETEN extension's kana, which the decoder reads as private-use characters.
    { "Big5 katakana", "radioButton_big5", QStringLiteral("テキスト"), "C7C2C7A9C7B5C7C4",
        QStringLiteral("\uF76F\uF756\uF762\uF771") },
    { "Big5 hiragana amid hanzi", "radioButton_big5", QStringLiteral("中の文"), "A4A4C755A4E5",
        QStringLiteral("中\uF724文") },
};

// Written for a lone surrogate with ISO-2022-JP, n times in a row.
inline QString iso2022JpSubstitutes(int n)
{
    return QStringLiteral("1B2842") + QStringLiteral("3F").repeated(n) + QStringLiteral("1B2842");
}

// What follows a lead byte that has no trail byte: the ASCII byte after it goes with it.
inline const QString afterBrokenLead;

// ISO-2022-JP read bytes 0xA1 to 0xDF as JIS X 0201 katakana.
inline const QString iso2022JpC3 = QStringLiteral("\uFF83");
inline const QString iso2022JpE4BDA0 = QStringLiteral("\uFFFD\uFF7D\uFFFD");

#else

// Windows' superset of EUC-KR.
inline const char eucKrCodecName[] = "windows-949";

inline const Conversion conversions[] = {
    { "GBK euro", "radioButton_GBK", QStringLiteral("€"), "80", QStringLiteral("€") },
    { "GBK leading U+FEFF", "radioButton_GBK", QStringLiteral("\uFEFFA"), "41",
        QStringLiteral("A") },
    { "EUC-KR euro", "radioButton_EUC_KR", QStringLiteral("€"), "A2E6", QStringLiteral("€") },
    { "EUC-KR hangul outside KS X 1001", "radioButton_EUC_KR", QStringLiteral("똠"), "8C63",
        QStringLiteral("똠") },
    { "EUC-JP hanzi outside JIS", "radioButton_EUC_JP", QStringLiteral("你"), "8FB0DF",
        QStringLiteral("你") },
    { "ISO-2022-JP kanji last", "radioButton_ISO_2022_JP", QStringLiteral("日本"), "1B2442467C4B5C",
        QStringLiteral("日本") },
    { "ISO-2022-JP hangul", "radioButton_ISO_2022_JP", QStringLiteral("a한b"), "613F62",
        QStringLiteral("a?b") },
    { "Big5 katakana", "radioButton_big5", QStringLiteral("テキスト"), "3F3F3F3F",
        QStringLiteral("????") },
    { "Big5 hiragana amid hanzi", "radioButton_big5", QStringLiteral("中の文"), "A4A43FA4E5",
        QStringLiteral("中?文") },
};

inline QString iso2022JpSubstitutes(int n)
{
    return QStringLiteral("3F").repeated(n);
}

// The ASCII byte after a lead byte without its trail byte stays a character of its own.
inline const QString afterBrokenLead = QStringLiteral(" ");

inline const QString iso2022JpC3 = QStringLiteral("\uFFFD");
inline const QString iso2022JpE4BDA0 = QStringLiteral("\uFFFD\uFFFD\uFFFD");

#endif

// UTF-16 is in the machine's own byte order: a text is written as U+FEFF, the byte-order mark, and
// the text, both in that order, and units that no mark leads are read in that order. The hex of
// units in that order: "\uFEFFA" gives FFFE4100 on a PC, FEFF0041 on a big-endian machine.
inline QString utf16Hex(const QString &units)
{
    const bool littleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    QByteArray bytes;
    for (const QChar unit : units) {
        const char high = static_cast<char>(unit.row());
        const char low = static_cast<char>(unit.cell());
        bytes.append(littleEndian ? low : high).append(littleEndian ? high : low);
    }
    return QString::fromLatin1(bytes.toHex().toUpper());
}

// The unit that two bytes make in that order.
inline QChar utf16Unit(uchar first, uchar second)
{
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? QChar(first, second)
                                                         : QChar(second, first);
}

} // namespace CodecBytes

#endif // VELTRANE_TESTS_CODECBYTES_H

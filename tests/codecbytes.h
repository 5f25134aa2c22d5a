#ifndef VELTRANE_TESTS_CODECBYTES_H
#define VELTRANE_TESTS_CODECBYTES_H

#include <QByteArray>
#include <QString>
#include <QSysInfo>

// What the toolkit's codecs give where a guess from the encoding's name could go wrong. They are
// ICU's converters on every platform, so these bytes are the same everywhere.
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

// Windows' superset of EUC-KR, which the toolkit asks ICU for.
inline const char eucKrCodecName[] = "windows-949";

inline const Conversion conversions[] = {
    { "GBK euro", "radioButton_GBK", QStringLiteral("€"), "80", QStringLiteral("€") },
    { "GBK leading U+FEFF", "radioButton_GBK", QStringLiteral("\uFEFFA"), "41",
        QStringLiteral("A") },
    { "GBK beyond the BMP", "radioButton_GBK", QStringLiteral("\U0001F600"), "3F",
        QStringLiteral("?") },
    { "EUC-KR euro", "radioButton_EUC_KR", QStringLiteral("€"), "A2E6", QStringLiteral("€") },
    { "EUC-KR hangul outside KS X 1001", "radioButton_EUC_KR", QStringLiteral("똠"), "8C63",
        QStringLiteral("똠") },
    { "EUC-JP hanzi outside JIS", "radioButton_EUC_JP", QStringLiteral("你"), "8FB0DF",
        QStringLiteral("你") },
    { "Shift-JIS U+001A", "radioButton_shift_jis", QStringLiteral("\u001A"), "7F",
        QStringLiteral("\u001A") },
    { "Shift-JIS yen", "radioButton_shift_jis", QStringLiteral("¥"), "3F", QStringLiteral("?") },
    // An ISO-2022-JP text ends in ASCII, whichever set its last character needed.
    { "ISO-2022-JP kanji last", "radioButton_ISO_2022_JP", QStringLiteral("日本"),
        "1B2442467C4B5C1B2842", QStringLiteral("日本") },
    { "ISO-2022-JP ASCII then kanji last", "radioButton_ISO_2022_JP", QStringLiteral("a日本"),
        "611B2442467C4B5C1B2842", QStringLiteral("a日本") },
    { "ISO-2022-JP yen last", "radioButton_ISO_2022_JP", QStringLiteral("¥"), "1B284A5C1B2842",
        QStringLiteral("¥") },
    { "ISO-2022-JP kanji then line break", "radioButton_ISO_2022_JP", QStringLiteral("日本\n"),
        "1B2442467C4B5C1B28420A", QStringLiteral("日本\n") },
    { "ISO-2022-JP hangul", "radioButton_ISO_2022_JP", QStringLiteral("a한b"), "613F62",
        QStringLiteral("a?b") },
    { "Big5 katakana", "radioButton_big5", QStringLiteral("テキスト"), "3F3F3F3F",
        QStringLiteral("????") },
    { "Big5 hiragana amid hanzi", "radioButton_big5", QStringLiteral("中の文"), "A4A43FA4E5",
        QStringLiteral("中?文") },
};

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

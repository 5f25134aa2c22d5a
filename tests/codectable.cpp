// Writes what the program's conversions give across each encoding's whole repertoire, one line a
// case, so that two builds (Linux and Windows) can be compared byte for byte:
//   ENCODING e CODEPOINT BYTES     every code point of the BMP but U+0000 and the surrogates, and
//                                  the first of every 256 beyond it, encoded
//   ENCODING d BYTES UNITS         every sequence of one and of two bytes, and with ISO-2022-JP
//                                  every escape sequence followed by one or two 7-bit bytes,
//                                  decoded into UTF-16 units
// Bytes and units in capital hex, units four digits each; "-" for none.

#include "conversion.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTextCodec>

#include <array>
#include <cstdio>

namespace {

struct Table
{
    Encoding encoding;
    const char *name;
};

constexpr std::array<Table, 8> tables = { {
    { Encoding::Gbk, "GBK" },
    { Encoding::EucJp, "EUC-JP" },
    { Encoding::Iso2022Jp, "ISO-2022-JP" },
    { Encoding::ShiftJis, "Shift-JIS" },
    { Encoding::Utf16, "UTF-16" },
    { Encoding::Utf8, "UTF-8" },
    { Encoding::Big5, "Big5" },
    { Encoding::EucKr, "EUC-KR" },
} };

// Every escape sequence of ISO-2022 that designates a set to G0 to G3 or shifts to one.
const char *const iso2022Escapes[] = { "\x1B(B", "\x1B(J", "\x1B(I", "\x1B$@", "\x1B$B", "\x1B$A",
    "\x1B$(C", "\x1B$(D", "\x1B.A", "\x1B.F", "\x1BN", "\x0E", "\x0F" };

QByteArray hexOrDash(const QByteArray &bytes)
{
    return bytes.isEmpty() ? QByteArray("-") : bytes.toHex().toUpper();
}

QByteArray unitsHex(const QString &text)
{
    if (text.isEmpty())
        return "-";
    QByteArray hex;
    for (const QChar unit : text)
        hex += QByteArray::number(unit.unicode(), 16).toUpper().rightJustified(4, '0');
    return hex;
}

class Writer
{
public:
    Writer(QFile *file, const Table &table, const QTextCodec *codec)
        : m_file(file)
        , m_name(table.name)
        , m_codec(codec)
    {
    }

    void encodeAll()
    {
        for (char32_t c = 1; c <= 0xFFFF; ++c) {
            if (!QChar::isSurrogate(c))
                encode(c);
        }
        for (char32_t c = 0x10000; c <= 0x10FFFF; c += 0x100)
            encode(c);
    }

    void decodeAll(bool escapes)
    {
        for (int first = 0; first < 256; ++first) {
            decode(QByteArray(1, static_cast<char>(first)));
            for (int second = 0; second < 256; ++second)
                decode(QByteArray(1, static_cast<char>(first)) + static_cast<char>(second));
        }
        if (!escapes)
            return;
        for (const char *escape : iso2022Escapes) {
            for (int first = 1; first < 128; ++first) {
                const QByteArray one = QByteArray(escape) + static_cast<char>(first);
                decode(one);
                for (int second = 1; second < 128; ++second)
                    decode(one + static_cast<char>(second));
            }
        }
    }

private:
    void encode(char32_t codePoint)
    {
        // Not QString::fromUcs4(), which with Qt 6 takes a leading U+FEFF for a byte-order mark.
        QString text;
        if (QChar::requiresSurrogates(codePoint)) {
            text = QString(QChar(QChar::highSurrogate(codePoint)))
                + QChar(QChar::lowSurrogate(codePoint));
        } else {
            text = QChar(static_cast<char16_t>(codePoint));
        }
        m_file->write(m_name + " e " + QByteArray::number(codePoint, 16).toUpper() + ' '
            + hexOrDash(encodeText(text, m_codec)) + '\n');
    }

    void decode(const QByteArray &bytes)
    {
        m_file->write(
            m_name + " d " + hexOrDash(bytes) + ' ' + unitsHex(decodeBytes(bytes, m_codec)) + '\n');
    }

    QFile *m_file;
    QByteArray m_name;
    const QTextCodec *m_codec;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: codectable OUTPUT\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "codectable: cannot write %s\n", argv[1]);
        return 1;
    }
    for (const Table &table : tables) {
        const QTextCodec *codec = codecFor(table.encoding);
        if (!codec) {
            std::fprintf(stderr, "codectable: no codec for %s\n", table.name);
            return 1;
        }
        Writer writer(&file, table, codec);
        writer.encodeAll();
        writer.decodeAll(table.encoding == Encoding::Iso2022Jp);
    }
    return file.flush() ? 0 : 1;
}

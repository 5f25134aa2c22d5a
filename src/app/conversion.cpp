#include "conversion.h"

#include <QTextCodec>

// VELTRANE_PORTABLE_HEX leaves the parser with the loop that builds for any processor. MSVC never
// defines __SSE2__; every x64 processor has SSE2.
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(VELTRANE_PORTABLE_HEX)
#define VELTRANE_HEX_SSE2
#include <emmintrin.h>
#endif

#include <array>
#include <cstring>
#include <memory>

namespace {

constexpr int Iso2022JpMib = 39;
constexpr int Utf8Mib = 106;
constexpr int Utf16Mib = 1015;

// ESC ( B, the escape sequence into ASCII.
constexpr char AsciiEscape[] = "\x1B(B";

constexpr std::array<std::array<char16_t, 2>, 256> makeHexPairs()
{
    constexpr char16_t digits[] = u"0123456789ABCDEF";
    std::array<std::array<char16_t, 2>, 256> pairs {};
    for (int byte = 0; byte < 256; ++byte)
        pairs[byte] = { digits[byte >> 4], digits[byte & 0xF] };
    return pairs;
}

constexpr std::array<std::array<char16_t, 2>, 256> hexPairs = makeHexPairs();

constexpr signed char NotHex = -1;
constexpr signed char Blank = -2;

constexpr std::array<signed char, 128> makeNibbleTable()
{
    std::array<signed char, 128> table {};
    for (auto &entry : table)
        entry = NotHex;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = static_cast<signed char>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) {
        table[c] = static_cast<signed char>(c - 'A' + 10);
        table[c - 'A' + 'a'] = static_cast<signed char>(c - 'A' + 10);
    }
    table[' '] = Blank;
    return table;
}

constexpr std::array<signed char, 128> nibbleTable = makeNibbleTable();

inline signed char nibbleOf(char16_t unit)
{
    return unit < nibbleTable.size() ? nibbleTable[unit] : NotHex;
}

#if defined(VELTRANE_HEX_SSE2)
constexpr int DigitsPerBlock = 16;

// Byte-wise unsigned value <= limit.
inline __m128i atMost(__m128i value, char limit)
{
    return _mm_cmpeq_epi8(_mm_min_epu8(value, _mm_set1_epi8(limit)), value);
}

// Turns 16 hex digits into 8 bytes at once. Gives up, writing nothing, when any of the 16 is not
// a digit, and leaves blanks and rejection to the careful loop.
inline bool parseDigitBlock(const char16_t *in, char *out)
{
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 8));
    // Units beyond Latin-1 saturate to 0x00 or 0xFF, neither of which is a digit.
    const __m128i chars = _mm_packus_epi16(first, second);

    const __m128i digit = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
    const __m128i isDigit = atMost(digit, 9);
    const __m128i letter
        = _mm_sub_epi8(_mm_or_si128(chars, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i isLetter = atMost(letter, 5);
    if (_mm_movemask_epi8(_mm_or_si128(isDigit, isLetter)) != 0xFFFF)
        return false;

    const __m128i nibbles = _mm_or_si128(_mm_and_si128(isDigit, digit),
        _mm_andnot_si128(isDigit, _mm_add_epi8(letter, _mm_set1_epi8(10))));
    // Each 16-bit lane holds the high nibble in its low byte and the low nibble in its high byte.
    const __m128i pairs
        = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0x00FF)), 4),
            _mm_srli_epi16(nibbles, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(pairs, pairs));
    return true;
}
#endif

} // namespace

const char *codecName(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Gbk:
        return "GBK";
    case Encoding::EucJp:
        return "EUC-JP";
    case Encoding::Iso2022Jp:
        return "ISO 2022-JP";
    case Encoding::ShiftJis:
        return "Shift-JIS";
    case Encoding::Utf16:
        return "UTF-16";
    case Encoding::Utf8:
        return "UTF-8";
    case Encoding::Big5:
        return "Big5";
    case Encoding::EucKr:
        return "EUC-KR";
    }
    return "";
}

QTextCodec *codecFor(std::optional<Encoding> encoding)
{
    return encoding ? QTextCodec::codecForName(codecName(*encoding)) : nullptr;
}

QByteArray encodeText(const QString &text, const QTextCodec *codec)
{
    if (!codec)
        return {};
    // UTF-16 text starts with a byte-order mark. Since Qt 6 only a fresh encoder writes it, and
    // there every other Unicode codec writes one as well, so the encoder serves UTF-16 alone.
    if (codec->mibEnum() == Utf16Mib) {
        const std::unique_ptr<QTextEncoder> encoder(codec->makeEncoder());
        return encoder->fromUnicode(text);
    }
    QByteArray bytes = codec->fromUnicode(text);
    // An ISO-2022-JP text must end in ASCII (RFC 1468), but the encoder is never told that the
    // text ends, so it stays in the character set of the last character. It writes ESC only to
    // switch sets: U+001B itself it cannot carry.
    if (codec->mibEnum() == Iso2022JpMib) {
        const auto lastEscape = bytes.lastIndexOf('\x1B');
        if (lastEscape >= 0 && bytes.indexOf(AsciiEscape, lastEscape) != lastEscape)
            bytes.append(AsciiEscape);
    }
    return bytes;
}

std::optional<qsizetype> hexTextLength(qsizetype byteCount)
{
    if (byteCount < 0 || byteCount > maxTextLength / 2)
        return std::nullopt;
    return byteCount * 2;
}

QString bytesToHex(const QByteArray &bytes)
{
    const std::optional<qsizetype> length = hexTextLength(bytes.size());
    if (!length)
        return {};

    QString hex(*length, Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(hex.data());
    for (const char byte : bytes) {
        std::memcpy(out, hexPairs[static_cast<unsigned char>(byte)].data(), sizeof(char16_t) * 2);
        out += 2;
    }
    return hex;
}

std::optional<QByteArray> parseHex(QStringView hex)
{
    QByteArray bytes(static_cast<int>(hex.size() / 2), Qt::Uninitialized);
    char *out = bytes.data();
    const char16_t *in = hex.utf16();
    const char16_t *const end = in + hex.size();

    signed char high = NotHex;
#if defined(VELTRANE_HEX_SSE2)
    // After a block that is not all digits, the careful loop takes the next few characters, so
    // that text with many blanks does not pay for failed block attempts at every pair.
    const char16_t *blocksFrom = in;
#endif
    while (in != end) {
#if defined(VELTRANE_HEX_SSE2)
        if (high == NotHex && in >= blocksFrom && end - in >= DigitsPerBlock) {
            if (parseDigitBlock(in, out)) {
                in += DigitsPerBlock;
                out += DigitsPerBlock / 2;
                continue;
            }
            blocksFrom = in + DigitsPerBlock;
        }
#endif
        // Two digits in a row, no blank between them.
        if (high == NotHex && end - in >= 2) {
            const signed char first = nibbleOf(in[0]);
            const signed char second = nibbleOf(in[1]);
            if ((first | second) >= 0) {
                *out++ = static_cast<char>((first << 4) | second);
                in += 2;
                continue;
            }
        }
        const signed char nibble = nibbleOf(*in++);
        if (nibble == Blank)
            continue;
        if (nibble == NotHex)
            return std::nullopt;
        if (high == NotHex) {
            high = nibble;
        } else {
            *out++ = static_cast<char>((high << 4) | nibble);
            high = NotHex;
        }
    }
    if (high != NotHex)
        return std::nullopt;

    bytes.truncate(static_cast<int>(out - bytes.constData()));
    return bytes;
}

QString decodeBytes(const QByteArray &bytes, const QTextCodec *codec)
{
    if (!codec)
        return {};

    const char *data = bytes.constData();
    const auto size = static_cast<int>(bytes.size());

    if (codec->mibEnum() == Utf16Mib) {
        // Raw data may start at an odd address, where its units cannot be read in place.
        QByteArray copy;
        if (reinterpret_cast<quintptr>(data) % alignof(char16_t) != 0) {
            copy = QByteArray(data, size);
            data = copy.constData();
        }
        const auto *utf16 = reinterpret_cast<const char16_t *>(data);
        const int wholeUnits = size / 2;
        int units = 0;
        while (units < wholeUnits && utf16[units] != 0)
            ++units;
        QString text = QString::fromUtf16(utf16, units);
        // A last byte on its own is half a unit cut off by the end of the hex; paired with a zero
        // byte it would show a character whose other byte nobody wrote.
        if (units == wholeUnits && size % 2 != 0)
            text.append(QChar::ReplacementCharacter);
        return text;
    }

    const auto *zero = static_cast<const char *>(std::memchr(data, 0, static_cast<size_t>(size)));
    // Without a state, toUnicode() drops a leading UTF-8 byte-order mark; told to ignore headers,
    // it keeps it as the U+FEFF it encodes.
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    QString text = codec->toUnicode(data, zero ? static_cast<int>(zero - data) : size, &state);

    // A sequence cut off at the end waits in the state for bytes that never come, and would vanish
    // unseen. It shows as one U+FFFD, with UTF-8 as one a byte, as UTF-8 decoding in one go shows
    // it. The UTF-8 codec counts the bytes it holds; any other codec that holds some turns a line
    // feed after them, which continues no sequence, into something else.
    if (codec->mibEnum() == Utf8Mib && state.remainingChars > 0)
        text.append(QString(static_cast<int>(state.remainingChars), QChar::ReplacementCharacter));
    else if (state.remainingChars > 0 || codec->toUnicode("\n", 1, &state) != QLatin1String("\n"))
        text.append(QChar::ReplacementCharacter);
    return text;
}

#include "conversion.h"

#include <QString>
#include <QTextCodec>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::array<Encoding, 8> allEncodings = {
    Encoding::Gbk,
    Encoding::EucJp,
    Encoding::Iso2022Jp,
    Encoding::ShiftJis,
    Encoding::Utf16,
    Encoding::Utf8,
    Encoding::Big5,
    Encoding::EucKr,
};

std::array<const QTextCodec *, allEncodings.size()> codecs {};
const QTextCodec *utf8Codec = nullptr;
const QTextCodec *utf16Codec = nullptr;
const QTextCodec *iso2022JpCodec = nullptr;

// An abort is what libFuzzer records as a crash, together with the input that caused it.
void require(bool holds, const char *property)
{
    if (holds)
        return;
    std::fprintf(stderr, "property does not hold: %s\n", property);
    std::abort();
}

bool isHexDigit(char16_t unit)
{
    return (unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'F')
        || (unit >= u'a' && unit <= u'f');
}

// What parsing should see: the text without its blanks.
QString withoutBlanks(QStringView text)
{
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text) {
        if (c != QLatin1Char(' '))
            kept.append(c);
    }
    return kept;
}

QString asciiUpper(const QString &text)
{
    QString upper = text;
    for (QChar &c : upper) {
        if (c.unicode() >= u'a' && c.unicode() <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    }
    return upper;
}

bool isWellFormedUtf16(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 == text.size() || text[i + 1].unicode() < 0xDC00
                || text[i + 1].unicode() > 0xDFFF)
                return false;
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

void checkHexText(QStringView text)
{
    const QString digits = withoutBlanks(text);
    bool expectValid = digits.size() % 2 == 0;
    for (const QChar c : digits)
        expectValid = expectValid && isHexDigit(c.unicode());

    const std::optional<QByteArray> parsed = parseHex(text);
    require(parsed.has_value() == expectValid, "parseHex accepts exactly blanks and digit pairs");
    if (!parsed)
        return;
    require(parsed->size() * 2 == digits.size(), "one byte per digit pair");
    require(bytesToHex(*parsed) == asciiUpper(digits), "formatting parsed text gives its digits");

    for (const QTextCodec *codec : codecs)
        decodeBytes(*parsed, codec);
}

void checkBytes(const QByteArray &bytes)
{
    const QString hex = bytesToHex(bytes);
    require(hex.size() == bytes.size() * 2, "two digits per byte");
    const std::optional<QByteArray> parsed = parseHex(hex);
    require(parsed && *parsed == bytes, "parsing formatted bytes gives them back");

    // The same bytes kept by an array of their own and at an odd address.
    const QByteArray owned(bytes.constData(), bytes.size());
    QByteArray shiftedStore(bytes.size() + 1, Qt::Uninitialized);
    std::memcpy(shiftedStore.data() + 1, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const QByteArray shifted = QByteArray::fromRawData(shiftedStore.constData() + 1, bytes.size());

    const int zero = bytes.indexOf('\0');
    const QByteArray prefix = zero < 0 ? bytes : bytes.left(zero);
    for (const QTextCodec *codec : codecs) {
        const QString decoded = decodeBytes(bytes, codec);
        require(decodeBytes(owned, codec) == decoded && decodeBytes(shifted, codec) == decoded,
            "decoding depends on the bytes alone, not on where they are kept");
        if (codec != utf16Codec) {
            require(decoded == decodeBytes(prefix, codec), "decoding stops at the first zero byte");
            require(zero >= 0 || decodeBytes(bytes + QByteArray(1, '\0') + bytes, codec) == decoded,
                "bytes after a zero byte are ignored");
        }
        if (codec == utf8Codec || codec == utf16Codec)
            require(!decoded.contains(QChar(0)), "no NUL in Unicode decoding");
    }

    // Whole 16-bit units without a zero unit decode the same with a terminator and junk after it.
    if (bytes.size() % 2 == 0) {
        bool hasZeroUnit = false;
        for (int i = 0; i < bytes.size(); i += 2)
            hasZeroUnit = hasZeroUnit || (bytes[i] == 0 && bytes[i + 1] == 0);
        if (!hasZeroUnit) {
            require(decodeBytes(bytes + QByteArray(2, '\0') + bytes, utf16Codec)
                    == decodeBytes(bytes, utf16Codec),
                "UTF-16 decoding stops at the first zero unit");
        }
    }
}

void checkText(const QString &text)
{
    const bool roundTrips = !text.contains(QChar(0)) && isWellFormedUtf16(text);
    for (const QTextCodec *codec : codecs) {
        const QByteArray encoded = encodeText(text, codec);
        const std::optional<QByteArray> parsed = parseHex(bytesToHex(encoded));
        require(parsed && *parsed == encoded, "encoded text survives hex");
        const QString decoded = decodeBytes(*parsed, codec);
        if (roundTrips && codec == utf16Codec)
            require(decoded == text, "UTF-16 carries any well-formed text without NUL");
        if (roundTrips && codec == utf8Codec)
            require(decoded == text, "UTF-8 carries any well-formed text without NUL");
        // Ended in ASCII, the bytes of a text read on as ASCII: no other set reads "AB" as A and B.
        if (codec == iso2022JpCodec && !encoded.contains('\0')) {
            require(decodeBytes(encoded + "AB", codec) == decoded + QLatin1String("AB"),
                "an ISO-2022-JP text ends in ASCII");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    for (std::size_t i = 0; i < allEncodings.size(); ++i) {
        codecs[i] = codecFor(allEncodings[i]);
        if (!codecs[i]) {
            std::fprintf(stderr, "no codec for %s\n", codecName(allEncodings[i]));
            std::abort();
        }
    }
    utf8Codec = codecFor(Encoding::Utf8);
    utf16Codec = codecFor(Encoding::Utf16);
    iso2022JpCodec = codecFor(Encoding::Iso2022Jp);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto *chars = reinterpret_cast<const char *>(data);
    const int length = static_cast<int>(size);

    // The input as UTF-16 text in host order, a trailing odd byte dropped: any unit, lone
    // surrogates and NULs included.
    QString utf16(length / 2, Qt::Uninitialized);
    std::memcpy(utf16.data(), data, (size / 2) * sizeof(char16_t));

    checkHexText(utf16);
    checkHexText(QString::fromLatin1(chars, length));
    checkHexText(QString::fromUtf8(chars, length));
    // Raw data has no terminating zero byte after it, so reading past the end shows up.
    checkBytes(QByteArray::fromRawData(chars, length));
    checkText(utf16);
    return 0;
}

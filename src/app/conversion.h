#ifndef VELTRANE_APP_CONVERSION_H
#define VELTRANE_APP_CONVERSION_H

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <limits>
#include <optional>

class QTextCodec;

// The eight encodings on offer, in the order the window tests its radio buttons.
enum class Encoding : std::uint8_t { Gbk, EucJp, Iso2022Jp, ShiftJis, Utf16, Utf8, Big5, EucKr };

// The name handed to the codec lookup; for two encodings it is not the label on screen.
const char *codecName(Encoding encoding);

// nullptr when there is no choice or the toolkit has no codec of that name.
QTextCodec *codecFor(std::optional<Encoding> encoding);

// Empty when there is no codec. An ISO-2022-JP text ends in ASCII.
QByteArray encodeText(const QString &text, const QTextCodec *codec);

// The longest text the program handles in one string: what a QString holds with Qt 5, and with
// Qt 6 still within the int lengths of the codecs and text positions.
constexpr qsizetype maxTextLength = (std::numeric_limits<int>::max() - 64) / 2;

// The length of the hex text of this many bytes; nothing when it would exceed maxTextLength.
std::optional<qsizetype> hexTextLength(qsizetype byteCount);

// Two capital hex digits per byte, nothing between them. Empty when hexTextLength() has no room
// for the bytes.
QString bytesToHex(const QByteArray &bytes);

// Blanks (U+0020) are dropped anywhere; any other character that is not an ASCII hex digit, or
// an odd number of digits, makes the whole text malformed.
std::optional<QByteArray> parseHex(QStringView hex);

// Decodes up to the first zero byte, or for UTF-16 the first zero 16-bit unit, where a leading
// byte-order mark decides the byte order and host order applies without one, and a lone last byte
// shows as U+FFFD. Every other encoding keeps a leading U+FEFF as the character it is. Empty
// without a codec.
QString decodeBytes(const QByteArray &bytes, const QTextCodec *codec);

#endif // VELTRANE_APP_CONVERSION_H

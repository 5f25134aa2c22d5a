#ifndef VELTRANE_TESTS_ENCODINGS_H
#define VELTRANE_TESTS_ENCODINGS_H

#include "codecbytes.h"
#include "conversion.h"

#include <array>
#include <cstddef>

struct EncodingChoice
{
    const char *button = nullptr; // object name of its radio button
    const char *label = nullptr; // on the button
    const char *name = nullptr; // in the names of test rows and benchmarks
    const char *codec = nullptr; // the name its codec reports
    Encoding encoding {};
};

// In the order on screen: the left column from the top, then the right one.
constexpr std::array<EncodingChoice, 8> encodingsOnScreen = { {
    { "radioButton_GBK", "GBK", "GBK", "GBK", Encoding::Gbk },
    { "radioButton_UTF16", "UTF-16", "UTF-16", "UTF-16", Encoding::Utf16 },
    { "radioButton_ISO_2022_JP", "ISO-2022-JP", "ISO-2022-JP", "ISO-2022-JP", Encoding::Iso2022Jp },
    { "radioButton_big5", "Big5", "Big5", "Big5", Encoding::Big5 },
    { "radioButton_UTF8", "UTF-8", "UTF-8", "UTF-8", Encoding::Utf8 },
    { "radioButton_shift_jis", "shift-jis", "Shift-JIS", "Shift_JIS", Encoding::ShiftJis },
    { "radioButton_EUC_JP", "EUC-JP", "EUC-JP", "EUC-JP", Encoding::EucJp },
    { "radioButton_EUC_KR", "EUC-KR", "EUC-KR", CodecBytes::eucKrCodecName, Encoding::EucKr },
} };

// In the order the window tests its buttons, which is that of Encoding.
constexpr std::array<EncodingChoice, encodingsOnScreen.size()> encodingsInTestOrder = [] {
    std::array<EncodingChoice, encodingsOnScreen.size()> ordered {};
    for (const EncodingChoice &choice : encodingsOnScreen)
        ordered.at(static_cast<std::size_t>(choice.encoding)) = choice;
    return ordered;
}();

constexpr const EncodingChoice &choiceFor(Encoding encoding)
{
    return encodingsInTestOrder.at(static_cast<std::size_t>(encoding));
}

#endif // VELTRANE_TESTS_ENCODINGS_H

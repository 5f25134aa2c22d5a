#include "sampletext.h"

#include <cstdint>

QString sampleText(int utf8Bytes)
{
    static const char16_t *const chinese[] = {
        u"你好",
        u"世界",
        u"编码",
        u"文本",
        u"字节",
        u"转换",
        u"中文",
        u"汉字",
        u"测试",
        u"窗口",
    };
    static const char16_t *const ascii[] = {
        u"hex",
        u"text",
        u"bytes",
        u"encoding",
        u"Qt",
        u"window",
        u"2026",
        u"GBK",
    };

    QString text;
    text.reserve(utf8Bytes / 2);
    std::uint32_t state = 12345;
    const auto next = [&state](std::uint32_t range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 16) % range;
    };

    int bytes = 0;
    int lineBytes = 0;
    while (bytes < utf8Bytes) {
        if (next(3) == 0) {
            const QString word = QString::fromUtf16(ascii[next(8)]) + QLatin1Char(' ');
            text += word;
            bytes += word.size();
            lineBytes += word.size();
        } else {
            const QString word = QString::fromUtf16(chinese[next(10)]);
            text += word;
            bytes += 3 * word.size();
            lineBytes += 3 * word.size();
        }
        if (lineBytes > 300) {
            text += QLatin1Char('\n');
            ++bytes;
            lineBytes = 0;
        }
    }
    return text;
}

#ifndef VELTRANE_BENCH_SAMPLETEXT_H
#define VELTRANE_BENCH_SAMPLETEXT_H

#include <QString>

// Paragraphs of Chinese mixed with ASCII words and line breaks, about utf8Bytes long in UTF-8.
// Deterministic, so runs compare.
QString sampleText(int utf8Bytes);

#endif // VELTRANE_BENCH_SAMPLETEXT_H

#include "longrunguard.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace {

using FormatRanges = QVector<QTextLayout::FormatRange>;

// What the guard notes in a block's QTextBlock::userState(); the toolkit's -1 means none of it.
constexpr int holdsLongRun = 1;
constexpr int holdsUnshapedClusters = 2;

int flagsOf(const QTextBlock &block)
{
    return std::max(block.userState(), 0);
}

// The toolkit's layout takes a space for the end of a word even where Unicode's rules allow no
// break, as between two numbers; a no-break space it does not.
bool endsWord(QChar unit)
{
    const auto u = unit.unicode();
    return unit.isSpace() && u != 0x00A0 && u != 0x2007 && u != 0x202F;
}

// Whether the text holds a stretch longer than limit in which the toolkit's layout finds no place
// to break a line: no space, and no break opportunity by Unicode's rules (with dictionaries for
// scripts such as Thai), which the layout and QTextBoundaryFinder share.
bool holdsRunLongerThan(const QString &text, qsizetype limit)
{
    // Spaces alone settle it for most text, without the costlier rules.
    qsizetype start = 0;
    qsizetype i = 0;
    for (; i < text.size(); ++i) {
        if (endsWord(text.at(i)))
            start = i + 1;
        else if (i + 1 - start > limit)
            break;
    }
    if (i == text.size())
        return false;

    // The dictionaries take time that grows with the square of a stretch without spaces, so the
    // rules see the text in windows overlapping by half: a longer run has more than limit units
    // in one of them.
    const qsizetype window = 8 * limit;
    for (qsizetype from = 0; from < text.size(); from += window / 2) {
        const qsizetype length = std::min(window, text.size() - from);
        QTextBoundaryFinder finder(
            QTextBoundaryFinder::Line, text.constData() + from, static_cast<int>(length));
        qsizetype boundary = finder.toNextBoundary();
        start = 0;
        for (i = 0; i < length; ++i) {
            if (i == boundary) {
                start = i;
                boundary = finder.toNextBoundary();
            }
            if (endsWord(text.at(from + i)))
                start = i + 1;
            else if (i + 1 - start > limit)
                return true;
        }
        if (from + length == text.size())
            break;
    }
    return false;
}

// Whether a unit may belong to the same grapheme cluster as the unit before it: a superset of
// what Unicode's rules join that is cheap to test. In a cluster only the first unit of its base
// can fail the test, so a cluster of n units holds at least (n - 1) / 2 units in a row that pass.
bool mayContinueCluster(QChar unit, QChar previous)
{
    const auto u = unit.unicode();
    if (previous.unicode() == 0x200D) // after a zero-width joiner, as in emoji sequences
        return true;
    if (u < 0x300 || (u >= 0x3400 && u < 0xA000)) // no marks there, nor in the CJK ideographs
        return false;
    switch (unit.category()) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
        return true;
    default:
        break;
    }
    // Hangul jamo, and the few letters that join the unit before them like marks.
    return (u >= 0x1100 && u <= 0x11FF) || (u >= 0xA960 && u <= 0xA97F)
        || (u >= 0xD7B0 && u <= 0xD7FF) || u == 0x0D4E || u == 0x0E33 || u == 0x0EB3 || u == 0xFF9E
        || u == 0xFF9F;
}

QTextCharFormat unshapedFormat()
{
    QTextCharFormat format;
    format.setFontStyleStrategy(QFont::PreferNoShaping);
    return format;
}

// The grapheme clusters of the text longer than LongRunGuard::longestShapedCluster, each with the
// format that draws it unshaped.
FormatRanges longClusters(const QString &text)
{
    FormatRanges ranges;
    int streak = 0;
    int longestStreak = 0;
    QChar previous;
    for (const QChar unit : text) {
        streak = mayContinueCluster(unit, previous) ? streak + 1 : 0;
        longestStreak = std::max(longestStreak, streak);
        previous = unit;
    }
    if (longestStreak < LongRunGuard::longestShapedCluster / 2)
        return ranges;

    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        if (end - start > LongRunGuard::longestShapedCluster) {
            QTextLayout::FormatRange range;
            range.start = static_cast<int>(start);
            range.length = static_cast<int>(end - start);
            range.format = unshapedFormat();
            ranges.append(range);
        }
        start = end;
    }
    return ranges;
}

// Replaces the unshaped ranges of the layout with these, keeping any other format ranges (an input
// method's, while it composes). Inside QTextDocument::contentsChange this adds to the change about
// to be laid out rather than laying out again.
void setUnshapedClusters(QTextLayout *layout, const FormatRanges &clusters)
{
    const FormatRanges old = layout->formats();
    FormatRanges ranges = old;
    const QTextCharFormat unshaped = unshapedFormat();
    ranges.erase(std::remove_if(ranges.begin(), ranges.end(),
                     [&unshaped](const QTextLayout::FormatRange &range) {
                         return range.format == unshaped;
                     }),
        ranges.end());
    ranges += clusters;
    if (ranges != old)
        layout->setFormats(ranges);
}

// Notes in the block whether it holds a long run or long clusters, and gives each long cluster
// the unshaped format. Returns the block's new flags.
int examine(QTextBlock block)
{
    int flags = 0;
    FormatRanges clusters;
    if (block.length() > LongRunGuard::longestShapedCluster) {
        const QString text = block.text();
        if (holdsRunLongerThan(text, LongRunGuard::longestWordWrappedRun))
            flags |= holdsLongRun;
        clusters = longClusters(text);
        if (!clusters.isEmpty())
            flags |= holdsUnshapedClusters;
    }

    const int old = flagsOf(block);
    if ((old | flags) & holdsUnshapedClusters)
        setUnshapedClusters(block.layout(), clusters);
    // Such a block is one long line or many. Keeping the glyphs of its layout spares the first
    // paint from building them again, as for the hex box.
    if (flags & holdsLongRun)
        block.layout()->setCacheEnabled(true);
    if (flags != old)
        block.setUserState(flags);
    return flags;
}

} // namespace

LongRunGuard::LongRunGuard(QPlainTextEdit *box)
    : QObject(box)
    , box(box)
    , usualWrapMode(box->wordWrapMode())
{
    // The document announces each change after taking it in and before its layout sees it.
    connect(box->document(), &QTextDocument::contentsChange, this, &LongRunGuard::examineChange);
}

void LongRunGuard::examineChange(int position, int /*charsRemoved*/, int charsAdded)
{
    bool longRun = false;
    QTextBlock block = box->document()->findBlock(position);
    for (; block.isValid() && block.position() <= position + charsAdded; block = block.next()) {
        if (examine(block) & holdsLongRun)
            longRun = true;
    }

    // The change may have taken the last long run away, from the blocks examined or with blocks
    // it removed; the notes of the others tell without reading their text again.
    const bool anywhere = longRun || (wrapsAnywhere && anyLongRun());
    if (anywhere == wrapsAnywhere)
        return;
    wrapsAnywhere = anywhere;
    // Lays the text out again at once when it is one line, else when it is next shown.
    box->setWordWrapMode(anywhere ? QTextOption::WrapAnywhere : usualWrapMode);
}

bool LongRunGuard::anyLongRun() const
{
    for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next()) {
        if (flagsOf(block) & holdsLongRun)
            return true;
    }
    return false;
}

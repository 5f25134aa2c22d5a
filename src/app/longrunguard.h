#ifndef VELTRANE_APP_LONGRUNGUARD_H
#define VELTRANE_APP_LONGRUNGUARD_H

#include <QObject>
#include <QTextOption>

class QPlainTextEdit;

// Keeps the time a text box takes to show its text roughly linear in the text's length, whether
// the text was set, pasted or typed. The toolkit's word wrap lays out a run with no place to break
// a line in time that grows with the square of the run's length, and shaping a grapheme cluster
// takes time that grows with the square of the cluster's length. On each change of the text,
// before the toolkit lays the change out:
// - the box wraps anywhere while some line of it holds a run longer than longestWordWrappedRun
//   without a place to break, and as it did before otherwise;
// - a grapheme cluster longer than longestShapedCluster is drawn unshaped, which the toolkit
//   allows for every script but those that cannot be read without shaping.
class LongRunGuard : public QObject
{
    Q_OBJECT

public:
    // In 16-bit units. The word wrap of text made of nothing but runs just short of this costs 1.3
    // times what wrapping anywhere costs, and no word of ordinary writing comes near it.
    static constexpr int longestWordWrappedRun = 500;
    // Longer than any cluster of real writing or emoji sequence; Unicode's stream-safe text format
    // allows at most 30 combining marks in a row.
    static constexpr int longestShapedCluster = 32;

    // Watches the box's document from now on, as a child of the box.
    explicit LongRunGuard(QPlainTextEdit *box);

private:
    // Where a change removed text, the block at its position holds what is left around it.
    void examineChange(int position, int /*charsRemoved*/, int charsAdded);
    bool anyLongRun() const;

    QPlainTextEdit *box;
    QTextOption::WrapMode usualWrapMode;
    bool wrapsAnywhere = false;
};

#endif // VELTRANE_APP_LONGRUNGUARD_H

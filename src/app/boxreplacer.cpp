#include "boxreplacer.h"

#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <new>

namespace {

// Puts back what a replacement changes about the box besides its content, also when memory runs
// out half-way: an edit block left open would keep the box from ever laying out again, and one
// left without undo recording would lose what the user types next.
class ReplacementGuard
{
public:
    ReplacementGuard(QPlainTextEdit *edit, bool holdScrollBar)
        : edit(edit)
        , policy(edit->verticalScrollBarPolicy())
    {
        if (holdScrollBar)
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }

    ~ReplacementGuard()
    {
        try {
            if (blockOpen)
                cursor.endEditBlock();
            edit->document()->setUndoRedoEnabled(true);
            edit->setVerticalScrollBarPolicy(policy);
            // A destructor must not throw; what is left undone here costs the box its looks, not
            // its text.
        } catch (const std::bad_alloc &) { // NOLINT(bugprone-empty-catch)
        }
    }

    ReplacementGuard(const ReplacementGuard &) = delete;
    ReplacementGuard &operator=(const ReplacementGuard &) = delete;

    QTextCursor &beginEditBlock()
    {
        cursor = QTextCursor(edit->document());
        cursor.beginEditBlock();
        blockOpen = true;
        return cursor;
    }

    // The box lays its content out here.
    void endEditBlock()
    {
        blockOpen = false;
        cursor.endEditBlock();
    }

private:
    QPlainTextEdit *edit;
    const Qt::ScrollBarPolicy policy;
    QTextCursor cursor;
    bool blockOpen = false;
};

} // namespace

BoxReplacer::BoxReplacer(QPlainTextEdit *edit, Box box)
    : QObject(edit)
    , edit(edit)
    , box(box)
{
    const QTextDocument *document = edit->document();
    // Undo and redo add no command. The user's edits do, but for typing right after the
    // program's text, which Qt 6 joins to its step and which changes the length; a text set by
    // code clears the history with recording off.
    connect(document, &QTextDocument::undoCommandAdded, this, [this] {
        if (!replacing)
            editedSinceOutput = true;
    });
    connect(document, &QTextDocument::contentsChanged, this, [this, document] {
        if (!replacing && !document->isUndoRedoEnabled())
            editedSinceOutput = true;
    });
}

bool BoxReplacer::holdsOutput() const
{
    const QTextDocument *document = edit->document();
    return !editedSinceOutput && document->availableUndoSteps() == outputUndoSteps
        && document->availableRedoSteps() == 0 && document->characterCount() == outputCharacters;
}

qint64 BoxReplacer::historyBytes() const
{
    const QTextDocument *document = edit->document();
    qint64 characters = 0;
    if (holdsOutput())
        characters = entered ? entered->size() : 0;
    else
        characters = document->characterCount();
    return characters * qint64(sizeof(QChar));
}

void BoxReplacer::replace(QString text)
{
    QTextDocument *document = edit->document();
    const bool overOutput = holdsOutput();
    if (!overOutput) {
        entered.reset();
        if (box == Box::Text || !document->isEmpty() || document->isUndoAvailable())
            entered = document->toRawText();
    }

    const QScopedValueRollback<bool> busy(replacing, true);
    bool recording = false;
    try {
        ReplacementGuard guard(edit, box == Box::Hex);
        // The history starts afresh each time, which also lets the document drop the texts that
        // only the history held. The program's own output goes at once: taking a long line out of
        // a laid-out box costs as much memory again as laying it out.
        if (!entered || overOutput)
            edit->clear();
        document->setUndoRedoEnabled(false);

        QTextCursor &cursor = guard.beginEditBlock();
        if (entered && overOutput)
            cursor.insertText(*entered);
        // Everything from here on is the one step that Ctrl+Z takes back.
        if (entered) {
            document->setUndoRedoEnabled(true);
            recording = true;
        }
        cursor.select(QTextCursor::Document);
        cursor.removeSelectedText();
        // Laying out one long line is the costliest step; keeping the glyphs of that one layout
        // spares the first paint from building them all again.
        if (box == Box::Hex)
            document->firstBlock().layout()->setCacheEnabled(true);
        cursor.insertText(text);
        // The layout runs when the edit block closes; the document holds its own copy by then.
        text.clear();
        guard.endEditBlock();
    } catch (const std::bad_alloc &) {
        // Back to what the user had entered; short of that, the box lost only the program's own
        // output, and the next replacement puts back what the user had entered.
        if (recording) {
            if (document->isUndoAvailable())
                document->undo();
            editedSinceOutput = true;
        } else {
            outputUndoSteps = document->availableUndoSteps();
            outputCharacters = document->characterCount();
        }
        throw;
    }
    if (box == Box::Hex)
        edit->moveCursor(QTextCursor::Start);
    outputUndoSteps = document->availableUndoSteps();
    outputCharacters = document->characterCount();
    editedSinceOutput = false;
}

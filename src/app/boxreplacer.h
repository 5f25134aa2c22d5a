#ifndef VELTRANE_APP_BOXREPLACER_H
#define VELTRANE_APP_BOXREPLACER_H

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

class QPlainTextEdit;

// Replaces the whole content of a box on the program's behalf. One Ctrl+Z brings back what the
// user had entered there before the program first replaced it, and the box's undo history holds
// no more than that: a box's document keeps every text it ever held while it records, so each
// recorded replacement would otherwise stay in memory for good.
class BoxReplacer : public QObject
{
public:
    // What the text box held comes back with Ctrl+Z even when it was empty. Hex is one long
    // line, and laying it out is the costliest step of a click: holding the vertical scroll bar
    // shown while it goes in spares a second layout pass when the bar would otherwise appear
    // halfway, and it is shown from its start. An empty hex box with nothing to undo has nothing
    // to bring back, which spares recording the removal.
    enum class Box : std::uint8_t { Text, Hex };

    // Belongs to edit.
    BoxReplacer(QPlainTextEdit *edit, Box box);

    // The bytes that replace() adds to what the box's history holds: the copy of what the user
    // had entered that it keeps or puts back.
    qint64 historyBytes() const;

    // If memory runs out on the way, the box records and shows as before, and what the user had
    // entered is still there or one Ctrl+Z away; the exception is passed on.
    void replace(QString text);

private:
    // Whether the box holds what replace() last put there: unchanged since, or back to it with
    // Ctrl+Z and Ctrl+Y.
    bool holdsOutput() const;

    QPlainTextEdit *edit;
    const Box box;
    // What one Ctrl+Z after a replacement brings back; nothing when the box held only the
    // program's output, or was empty and had nothing to undo.
    std::optional<QString> entered;
    int outputUndoSteps = 0;
    int outputCharacters = 0;
    bool editedSinceOutput = true;
    bool replacing = false;
};

#endif // VELTRANE_APP_BOXREPLACER_H

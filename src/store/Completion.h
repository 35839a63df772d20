#pragma once

#include "Status.h"

#include <QString>

#include <optional>

namespace qs {

class Database;
class Recordset;

// What a box is to show after a completion attempt: its text and the
// selection to set. `completed` is false when the box stays as it was (the
// text and selection are then the ones passed in).
struct Completion
{
    QString text;
    int selStart = 0;
    int selLength = 0;
    bool completed = false;
};

// Completes a description (or a "who") typed into a box: once more than two
// characters stand before a caret at the end of the text, the box takes the
// stored value of the newest record (highest RecordPtr) that begins with the
// typed text, in any letter case, and the added tail is to be selected. Only
// values longer than the typed text (trailing blanks aside) are offered, and
// a stored value equal to the typed text never is. `set` is the table record
// set kept for this purpose; the lookup reads only the index range of the
// typed prefix.
Completion CompleteDescription(Recordset &descriptionSet, const QString &text, int selStart,
                               int selLength);
Completion CompleteWho(Recordset &whoSet, const QString &text, int selStart, int selLength);

// The stored value of `field` ("Description" or "Who") that the completion
// offers for `typed`, as stored; nothing when no value sorts after `typed`
// and begins with it. Letter case is compared as the index compares it.
Result<std::optional<QString>> fnCompletionCandidate(Database &db, const QString &field,
                                                     const QString &typed);

} // namespace qs

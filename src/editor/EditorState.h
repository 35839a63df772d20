#pragma once

#include <QtGlobal>

namespace qs {

// Shared between the main window's Add and Change commands and the record
// editor, which is opened modally and read back once it has closed.

// True: the editor is to add a new record; false: it changes the list's
// current record. Set by the main window before it opens the editor.
extern bool gAddMode;

// ID of the record that the editor has just added; 0 for none. The editor
// clears it on loading and sets it after a successful add.
extern qint32 gNewID;

} // namespace qs

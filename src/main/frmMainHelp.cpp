// Help, opened from the main window.
#include "frmMain.h"

namespace qs {

void frmMain::mnuHelpContents_Click() {}

} // namespace qs

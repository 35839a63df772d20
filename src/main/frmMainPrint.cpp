// The report command of the main window.
#include "frmMain.h"

namespace qs {

void frmMain::mnuPrint_Click() {}

} // namespace qs

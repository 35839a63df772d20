// Type maintenance, opened from the main window.
#include "frmMain.h"

namespace qs {

void frmMain::mnuManageTypes_Click() {}

} // namespace qs

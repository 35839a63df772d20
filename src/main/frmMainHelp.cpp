// Help, opened from the main window.
#include "frmMain.h"

#include "main/HelpSupport.h"

namespace qs {

void frmMain::mnuHelpContents_Click()
{
    showHelp(this, 0);
}

} // namespace qs

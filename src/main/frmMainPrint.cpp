// The report command of the main window.
#include "frmMain.h"

#include "reports/frmPrint.h"
#include "store/DataControl.h"
#include "widgets/MessageBox.h"

namespace qs {

void frmMain::mnuPrint_Click()
{
    Recordset *rs = dtaDocuments->recordset();
    if (!gDatabase || !rs || (rs->bof() && rs->eof())) {
        MessageBox::show(this, QStringLiteral("Nothing to print."), QStringLiteral("Quillstack"));
        return;
    }
    // The report runs the list's own query value, so it has the list's filter and order.
    frmPrint form(*gDatabase, dtaDocuments->recordSource(), this);
    form.exec();
}

} // namespace qs

// Type maintenance, opened from the main window.
#include "frmMain.h"

#include "types/frmTypes.h"
#include "widgets/FillTypeList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>

namespace qs {

namespace {

// Refills the type filter from the table, keeping the chosen type by its key.
// Returns true when that type is gone and the list fell back to "ALL".
bool refillKeepingChoice(QComboBox &list, Database &db)
{
    const qint16 chosen = selectedTypeKey(list);
    // The selection is restored below; a passing "ALL" must not re-run the list.
    const QSignalBlocker quiet(list);
    FillTypeList(list, db, true);
    if (chosen == 0)
        return false;
    for (int i = 1; i < list.count(); ++i) {
        if (qint16(list.itemData(i).toInt()) == chosen) {
            list.setCurrentIndex(i);
            return false;
        }
    }
    list.setCurrentIndex(0);
    return true;
}

} // namespace

void frmMain::mnuManageTypes_Click()
{
    if (!gDatabase)
        return;
    {
        frmTypes types(*gDatabase, this);
        if (Status s = types.Form_Load(); !s) {
            showEngineError(s);
            return;
        }
        types.exec();
    }
    // Types may have been added or deleted: the filter list follows at once.
    if (refillKeepingChoice(*cmbType, *gDatabase) && chkFilterOn->isChecked())
        RefreshDocumentList(cmbType);
}

} // namespace qs

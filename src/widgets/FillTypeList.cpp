#include "FillTypeList.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace qs {

void FillTypeList(QComboBox &list, const QList<TypeEntry> &types, bool withAll)
{
    {
        const QSignalBlocker quiet(list);
        list.clear();
        if (withAll)
            list.addItem(QStringLiteral("ALL"), QVariant(qint16(0)));
        for (const TypeEntry &t : types)
            list.addItem(t.name, QVariant(t.key));
        list.setCurrentIndex(-1);
    }
    if (list.count() > 0)
        list.setCurrentIndex(0);
}

void FillTypeList(QComboBox &list, Database &db, bool withAll)
{
    FillTypeList(list, fnTypeEntries(db), withAll);
}

qint16 selectedTypeKey(const QComboBox &list)
{
    const int index = list.currentIndex();
    if (index < 0)
        return 0;
    // Typed text that is not an entry counts as no selection.
    if (list.isEditable() && list.currentText() != list.itemText(index))
        return 0;
    return qint16(list.itemData(index).toInt());
}

} // namespace qs

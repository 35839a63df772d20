#pragma once

#include "store/modRoutines.h"

class QComboBox;

namespace qs {

class Database;

// Fills a list with the type names (preceded by "ALL" when `withAll`), each
// entry carrying its own key as item data, and selects the first entry
// through the list's own selection so its owner is told as for a user's
// choice. An empty list is left without a selection.
void FillTypeList(QComboBox &list, Database &db, bool withAll);
void FillTypeList(QComboBox &list, const QList<TypeEntry> &types, bool withAll);

// The key of the selected entry: 0 for "ALL", for no selection, or for typed
// text that matches no entry.
qint16 selectedTypeKey(const QComboBox &list);

} // namespace qs

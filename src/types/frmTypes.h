#pragma once

#include "store/Status.h"

#include <QDialog>

class QPushButton;

namespace qs {

class DataControl;
class DataGrid;
class Database;

// Lists the document types in name order; adds them through frmAddType and
// deletes those that no document uses.
class frmTypes : public QDialog
{
    Q_OBJECT
public:
    explicit frmTypes(Database &db, QWidget *parent = nullptr);
    ~frmTypes() override;

    // Opens the list's record set; the window is of no use when this fails.
    Status Form_Load();

    DataControl *types() const { return dtaTypes; }

public Q_SLOTS:
    void cmdAdd_Click();
    void cmdDelete_Click();
    void cmdExit_Click();

private:
    // A database that can only be read: says so and answers true.
    bool refusedAsReadOnly();
    void showEngineError(const Status &status);

    Database &m_db;

    DataControl *dtaTypes = nullptr;
    DataGrid *grdTypes = nullptr;
    QPushButton *cmdAdd = nullptr;
    QPushButton *cmdDelete = nullptr;
    QPushButton *cmdExit = nullptr;
};

} // namespace qs

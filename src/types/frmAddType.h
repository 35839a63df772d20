#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qs {

class Database;
class Recordset;

// Asks for the name of a new type and adds it through the types window's
// record set, so the dialog lives only while that window is open.
class frmAddType : public QDialog
{
    Q_OBJECT
public:
    frmAddType(Database &db, Recordset &types, QWidget *parent = nullptr);

public Q_SLOTS:
    void cmdOk_Click();
    void cmdCancel_Click();

private:
    void showMessage(const QString &text);

    Database &m_db;
    Recordset &m_types;

    QLabel *Label1 = nullptr;
    QLineEdit *txtType = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdCancel = nullptr;
};

} // namespace qs

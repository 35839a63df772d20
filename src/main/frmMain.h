#pragma once

#include "main/DocumentQuery.h"
#include "store/Database.h"
#include "store/Recordset.h"
#include "store/Status.h"

#include <QDate>
#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace qs {

class DataControl;
class DataGrid;
class DocumentIndexService;
class Session;

// The main window: the record list with its detail panel, the filter, the
// order and the commands. Start-up (Form_Initialize) opens the database.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    // The session holds the database; it outlives the window.
    explicit frmMain(Session &session, QWidget *parent = nullptr);
    ~frmMain() override;

    // Start-up, in the documented order. A failure ends the program: the
    // caller shows the message.
    Status Form_Initialize();

    // The clock's date, replaceable so that tests never depend on the day.
    void setToday(std::function<QDate()> today) { m_today = std::move(today); }
    Database *database() const { return gDatabase; }
    DataControl *documents() const { return dtaDocuments; }
    // The list's query value, as the report window needs it.
    DocumentQuery currentQuery() const;
    DocumentIndexService *documentIndex() const;

public Q_SLOTS:
    void RefreshDocumentList(QWidget *pFocusControl);
    void DisplayCurrentRecordInformation();
    void ListFocus();

    void cmdAdd_Click();
    void cmdChange_Click();
    void cmdDelete_Click();
    void chkFilterOn_Click();
    void cmbType_Click();
    void cmbDate_Click();
    void txtFilterDesc_Change();
    void txtFilterWho_Change();
    void txtFilterNote_Change();
    void Order_Click(int index);
    void cmdSetAsDefault_Click();
    void tmrSetAsDefault_Timer();
    void mnuPrint_Click();
    void mnuExportCsv_Click();
    void mnuManageTypes_Click();
    void mnuFileExit_Click();
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildUi();
    void buildMenus();
    void SetDateList();
    QWidget *focusedFilterControl() const;
    void showEngineError(const Status &status);
    // A database that can only be read: says so and answers true.
    bool refusedAsReadOnly();
    // Other users' writes: shown where the user stands, when nothing of
    // ours is under way.
    bool mayFollowOtherWriters() const;
    void followOtherWriters();

    // Window members that the commands share.
    QString OrderClause;
    bool Initializing = false;
    bool FilterOn = false;
    int FocusedFilter = 0;
    bool m_shownOnce = false;

    Session &m_session;
    Database *gDatabase = nullptr;
    std::unique_ptr<Recordset> DetailSet;
    std::unique_ptr<Recordset> gDescriptionSet;
    std::unique_ptr<Recordset> gWhoSet;
    std::function<QDate()> m_today;

    // Controls (owned by the window through Qt's parent chain).
    DataControl *dtaDocuments = nullptr;
    DataGrid *grdInfo = nullptr;
    QPushButton *cmdAdd = nullptr;
    QPushButton *cmdChange = nullptr;
    QPushButton *cmdDelete = nullptr;
    QComboBox *cmbType = nullptr;
    QComboBox *cmbDate = nullptr;
    QLineEdit *txtFilterDesc = nullptr;
    QLineEdit *txtFilterWho = nullptr;
    QLineEdit *txtFilterNote = nullptr;
    QCheckBox *chkFilterOn = nullptr;
    std::array<QRadioButton *, 3> Order{};
    QPushButton *cmdSetAsDefault = nullptr;
    QLabel *lblSetAsDefaultOk = nullptr;
    QTimer *tmrSetAsDefault = nullptr;
    QFrame *panView = nullptr;
    QLabel *lblID = nullptr;
    QLabel *lblDesc = nullptr;
    QLabel *lblType = nullptr;
    QLabel *lblDate = nullptr;
    QLabel *lblWho = nullptr;
    QPlainTextEdit *lblNote = nullptr;
};

} // namespace qs

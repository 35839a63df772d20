#include "frmTypes.h"

#include "TypeRules.h"
#include "frmAddType.h"
#include "store/DataControl.h"
#include "widgets/DataGrid.h"
#include "store/ListSource.h"
#include "widgets/MessageBox.h"
#include "store/Schema.h"
#include "store/modRoutines.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace qs {

namespace {

// Names are stored as typed; the list shows them without trailing blanks.
class TrimmedTextDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant &value, const QLocale &locale) const override
    {
        return fnTrimTrailing(QStyledItemDelegate::displayText(value, locale));
    }
};

QPushButton *button(const QString &text, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    // Enter belongs to the grid, not to whichever button was pressed last.
    b->setAutoDefault(false);
    return b;
}

} // namespace

frmTypes::frmTypes(Database &db, QWidget *parent) : QDialog(parent), m_db(db)
{
    setObjectName(QStringLiteral("frmTypes"));
    setWindowTitle(QStringLiteral("Types"));

    dtaTypes = new DataControl(this);
    dtaTypes->setObjectName(QStringLiteral("dtaTypes"));
    grdTypes = new DataGrid(dtaTypes, {{QStringLiteral("Type"), QStringLiteral("Type")}}, this);
    grdTypes->setObjectName(QStringLiteral("grdTypes"));
    grdTypes->setItemDelegate(new TrimmedTextDelegate(grdTypes));
    grdTypes->horizontalHeader()->setStretchLastSection(true);

    cmdAdd = button(QStringLiteral("&Add"), "cmdAdd", this);
    cmdDelete = button(QStringLiteral("Delete"), "cmdDelete", this);
    cmdExit = button(QStringLiteral("Exit"), "cmdExit", this);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdDelete);
    buttons->addStretch();
    buttons->addWidget(cmdExit);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(grdTypes, 1);
    layout->addLayout(buttons);
    resize(360, 300);

    connect(cmdAdd, &QPushButton::clicked, this, &frmTypes::cmdAdd_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmTypes::cmdDelete_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmTypes::cmdExit_Click);
}

frmTypes::~frmTypes()
{
    // The grid's model listens to the data control; take it down first.
    delete grdTypes;
    grdTypes = nullptr;
}

Status frmTypes::Form_Load()
{
    dtaTypes->setDatabase(&m_db);
    dtaTypes->setDatabaseName(schema::DatabaseFile);
    // Equal names (letter case ignored) keep the order in which they were added.
    dtaTypes->setRecordSource(std::make_shared<SqlListSource>(
        schema::Types, QString(), QVariantList(), QStringLiteral("Type, RecordPtr")));
    return dtaTypes->refresh();
}

void frmTypes::cmdAdd_Click()
{
    Recordset *rs = dtaTypes->recordset();
    if (!rs)
        return;
    {
        frmAddType dialog(m_db, *rs, this);
        dialog.exec();
    }
    // Re-run whether or not a type was added, so a new one takes its place in name order.
    if (Status s = rs->requery(); !s)
        showEngineError(s);
}

void frmTypes::cmdDelete_Click()
{
    Recordset *rs = dtaTypes->recordset();
    // An empty list has no type to test or delete.
    if (!rs || !rs->hasCurrent())
        return;
    const qint64 key = rs->value(QStringLiteral("RecordPtr")).toLongLong();
    const Result<bool> inUse = fnTypeInUse(m_db, key);
    if (!inUse) {
        showEngineError(Status::failure(inUse.error()));
        return;
    }
    if (inUse.value()) {
        MessageBox::show(this, fnTypeInUseMessage(), MessageBox::defaultTitle());
        return;
    }

    const QString question = fnDeleteTypeQuestion(rs->value(QStringLiteral("Type")).toString());
    if (MessageBox::show(this, question, MessageBox::defaultTitle(),
                         QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Question,
                         QMessageBox::Ok) == QMessageBox::Ok) {
        Status deleted;
        {
            // While the row leaves the grid, the view picks a neighbour as its
            // current row; that must not move the record set before we do.
            const QSignalBlocker viewQuiet(grdTypes->selectionModel());
            deleted = rs->deleteCurrent();
        }
        if (!deleted) {
            showEngineError(deleted);
            return;
        }
        if (!rs->eof())
            rs->moveNext();
        else if (!rs->bof())
            rs->movePrevious();
    }
    // Deleting the last row leaves the set past its end; the new last row
    // becomes current (none when the list is now empty).
    if (rs->eof())
        rs->moveLast();
    grdTypes->setFocus();
}

void frmTypes::cmdExit_Click()
{
    close();
}

void frmTypes::showEngineError(const Status &status)
{
    MessageBox::show(this, status.message(), MessageBox::defaultTitle());
}

} // namespace qs

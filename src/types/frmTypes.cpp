#include "frmTypes.h"

#include "TypeRules.h"
#include "frmAddType.h"
#include "store/DataControl.h"
#include "store/ListSource.h"
#include "store/Schema.h"
#include "store/modRoutines.h"
#include "widgets/DataGrid.h"
#include "widgets/MessageBox.h"

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

QPushButton *typesButton(const QString &text, const char *name, QWidget *parent)
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
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("ElasticOne1"));
    grdTypes = new DataGrid(dtaTypes, {{QStringLiteral("Type"), QStringLiteral("Type")}}, panel);
    grdTypes->setObjectName(QStringLiteral("grdTypes"));
    grdTypes->setAccessibleName(QStringLiteral("Types"));
    grdTypes->setItemDelegate(new TrimmedTextDelegate(grdTypes));
    grdTypes->horizontalHeader()->setStretchLastSection(true);

    cmdAdd = typesButton(QStringLiteral("&Add"), "cmdAdd", panel);
    cmdDelete = typesButton(QStringLiteral("Delete"), "cmdDelete", panel);
    cmdExit = typesButton(QStringLiteral("Exit"), "cmdExit", panel);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdDelete);
    buttons->addStretch();
    buttons->addWidget(cmdExit);
    auto *layout = new QHBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grdTypes, 1);
    layout->addLayout(buttons);
    auto *whole = new QVBoxLayout(this);
    whole->addWidget(panel);
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
    dtaTypes->setDatabaseName(m_db.path());
    // Equal names (letter case ignored) keep the order in which they were added.
    dtaTypes->setRecordSource(std::make_shared<SqlListSource>(
        schema::Types, QString(), QVariantList(), QStringLiteral("Type, RecordPtr")));
    return dtaTypes->refresh();
}

void frmTypes::cmdAdd_Click()
{
    Recordset *rs = dtaTypes->recordset();
    if (!rs || refusedAsReadOnly())
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
    if (!rs || !rs->hasCurrent() || refusedAsReadOnly())
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

bool frmTypes::refusedAsReadOnly()
{
    if (!m_db.isReadOnly())
        return false;
    MessageBox::show(this, MessageBox::readOnlyText(m_db.path()), MessageBox::defaultTitle());
    return true;
}

} // namespace qs

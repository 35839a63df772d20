#include "frmAddType.h"

#include "TypeRules.h"
#include "store/Recordset.h"
#include "widgets/MessageBox.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qs {

frmAddType::frmAddType(Database &db, Recordset &types, QWidget *parent)
    : QDialog(parent), m_db(db), m_types(types)
{
    setObjectName(QStringLiteral("frmAddType"));
    setWindowTitle(QStringLiteral("Add Type"));

    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("ElasticOne1"));
    Label1 = new QLabel(QStringLiteral("Type:"), panel);
    Label1->setObjectName(QStringLiteral("Label1"));
    txtType = new QLineEdit(panel);
    txtType->setObjectName(QStringLiteral("txtType"));
    txtType->setAccessibleName(QStringLiteral("Type"));
    Label1->setBuddy(txtType);
    cmdOk = new QPushButton(QStringLiteral("Ok"), panel);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), panel);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);

    auto *layout = new QGridLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Label1, 0, 0);
    layout->addWidget(txtType, 0, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    layout->addLayout(buttons, 1, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    auto *whole = new QVBoxLayout(this);
    whole->addWidget(panel);
    setMinimumWidth(320);

    connect(cmdOk, &QPushButton::clicked, this, &frmAddType::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmAddType::cmdCancel_Click);
}

void frmAddType::cmdOk_Click()
{
    // Stored exactly as typed; lists drop the trailing blanks when showing it.
    const QString name = txtType->text();
    const Result<NewTypeCheck> check = fnCheckNewType(m_db, name);
    if (!check) {
        showMessage(check.error());
        return;
    }
    if (check.value() != NewTypeCheck::Accepted) {
        showMessage(fnNewTypeMessage(check.value()));
        return;
    }
    Status s = m_types.addNew();
    if (s)
        s = m_types.setValue(QStringLiteral("Type"), name);
    if (s)
        s = m_types.update();
    if (!s) {
        m_types.cancelUpdate();
        showMessage(s.message());
        return;
    }
    accept();
}

void frmAddType::cmdCancel_Click()
{
    reject();
}

void frmAddType::showMessage(const QString &text)
{
    MessageBox::show(this, text, MessageBox::defaultTitle());
    txtType->setFocus();
}

} // namespace qs

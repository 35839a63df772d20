// The editor's controls, layout and tab order.
#include "frmChange.h"

#include "widgets/DateBox.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace qs {

namespace {

template <typename W> W *named(W *widget, const char *name, int helpTopic = 0)
{
    widget->setObjectName(QLatin1String(name));
    if (helpTopic != 0)
        widget->setProperty("helpTopic", helpTopic);
    return widget;
}

} // namespace

void frmChange::buildUi()
{
    setObjectName(QStringLiteral("frmChange"));
    setWindowTitle(QStringLiteral("Document Information"));
    // A fixed dialog: no minimise, maximise or context-help buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    auto *panel = named(new QWidget(this), "ElasticOne1");
    txtID = named(new QLineEdit(panel), "txtID", 1001);
    txtDesc = named(new QLineEdit(panel), "txtDesc", 1002);
    cmbType = named(new QComboBox(panel), "cmbType", 1006);
    cmbType->setEditable(false);
    txtDate = named(new DateBox(panel), "txtDate", 1004);
    txtWho = named(new QLineEdit(panel), "txtWho", 1003);
    txtNote = named(new QPlainTextEdit(panel), "txtNote");
    txtNote->setAccessibleName(QStringLiteral("Note"));
    txtNote->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on to the buttons, as in every other box.
    txtNote->setTabChangesFocus(true);
    txtNote->setMinimumHeight(64);

    // The short boxes keep the width of a number or a date.
    const int shortWidth = fontMetrics().horizontalAdvance(QStringLiteral("00/00/00000")) + 16;
    for (QWidget *w : {static_cast<QWidget *>(txtID), static_cast<QWidget *>(cmbType),
                       static_cast<QWidget *>(txtDate)})
        w->setFixedWidth(std::max(shortWidth, 90));

    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    const QStringList captions = {QStringLiteral("ID:"), QStringLiteral("Desc:"),
                                  QStringLiteral("Type:"), QStringLiteral("Date:"),
                                  QStringLiteral("Who:")};
    const QList<QWidget *> boxes = {txtID, txtDesc, cmbType, txtDate, txtWho};
    const QStringList spokenNames = {QStringLiteral("ID"), QStringLiteral("Description"),
                                     QStringLiteral("Type"), QStringLiteral("Date"),
                                     QStringLiteral("Who")};
    for (int i = 0; i < captions.size(); ++i) {
        auto *label = new QLabel(captions[i], panel);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        label->setBuddy(boxes[i]);
        boxes[i]->setAccessibleName(spokenNames[i]);
        grid->addWidget(label, i, 0);
        grid->addWidget(boxes[i], i, 1, Qt::AlignLeft);
    }
    grid->addWidget(txtNote, int(captions.size()), 0, 1, 2);
    grid->setColumnStretch(1, 1);
    txtDesc->setMinimumWidth(220);
    txtWho->setMinimumWidth(220);

    cmdUpdate = named(new QPushButton(QStringLiteral("Update"), this), "cmdUpdate");
    cmdExit = named(new QPushButton(QStringLiteral("Exit, no update"), this), "cmdExit");
    cmdUpdate->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdUpdate);
    buttons->addWidget(cmdExit);
    buttons->addStretch();

    auto *whole = new QVBoxLayout(this);
    whole->addWidget(panel, 1);
    whole->addSpacing(8);
    whole->addLayout(buttons);

    // The description comes first, so it has the focus on opening; the
    // number comes last, after the two buttons.
    QWidget::setTabOrder(txtDesc, cmbType);
    QWidget::setTabOrder(cmbType, txtDate);
    QWidget::setTabOrder(txtDate, txtWho);
    QWidget::setTabOrder(txtWho, txtNote);
    QWidget::setTabOrder(txtNote, cmdUpdate);
    QWidget::setTabOrder(cmdUpdate, cmdExit);
    QWidget::setTabOrder(cmdExit, txtID);
    txtDesc->setFocus();

    setFixedSize(sizeHint().expandedTo(QSize(320, 280)));
}

} // namespace qs

#include "import/frmConverting.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace qs {

frmConverting::frmConverting(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmConverting"));
    setWindowTitle(QStringLiteral("Converting"));

    lblMessage =
        new QLabel(QStringLiteral("Converting to new database format ... please wait"), this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setAlignment(Qt::AlignCenter);
    QFont font = lblMessage->font();
    font.setBold(true);
    font.setPointSize(12);
    lblMessage->setFont(font);

    prgRows = new QProgressBar(this);
    prgRows->setObjectName(QStringLiteral("prgRows"));
    prgRows->setRange(0, 1);
    prgRows->setValue(0);
    prgRows->setFocusPolicy(Qt::NoFocus);
    prgRows->setAccessibleName(QStringLiteral("Documents converted"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(14);
    layout->addWidget(lblMessage);
    layout->addWidget(prgRows);
    setFixedSize(sizeHint().expandedTo(QSize(420, 0)));
}

void frmConverting::setProgress(int rowsDone, int rowCount)
{
    // An empty table shows as complete rather than as a bar with no range.
    prgRows->setRange(0, qMax(rowCount, 1));
    prgRows->setValue(rowCount > 0 ? qBound(0, rowsDone, rowCount) : 1);
}

void frmConverting::closeEvent(QCloseEvent *event)
{
    // The import cannot be interrupted; the window goes when the import is done.
    event->ignore();
}

} // namespace qs

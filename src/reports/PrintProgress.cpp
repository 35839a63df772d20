#include "reports/PrintProgress.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace qs {

PrintProgress::PrintProgress(const QString &document, const QString &device, const QString &port,
                             QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPrinting"));
    setWindowTitle(QStringLiteral("Printing..."));
    // Blocks the report window while the run is in progress, without a loop of its own.
    setWindowModality(Qt::ApplicationModal);

    auto *layout = new QVBoxLayout(this);
    m_page = new QLabel(this);
    m_page->setObjectName(QStringLiteral("lblPrintingPage"));
    m_page->setAlignment(Qt::AlignCenter);
    m_document = new QLabel(document, this);
    m_document->setObjectName(QStringLiteral("lblPrintingDocument"));
    m_document->setAlignment(Qt::AlignCenter);
    m_device = new QLabel(QStringLiteral("on the %1 on %2").arg(device, port), this);
    m_device->setObjectName(QStringLiteral("lblPrintingDevice"));
    m_device->setAlignment(Qt::AlignCenter);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));
    layout->addWidget(m_page);
    layout->addWidget(m_document);
    layout->addWidget(m_device);
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_cancelled = true;
        m_cancel->setEnabled(false);
    });
    setPage(1);
    setMinimumWidth(320);
}

void PrintProgress::setPage(int page)
{
    m_page->setText(QStringLiteral("Now printing Page %1 of").arg(page));
}

QString PrintProgress::pageLine() const
{
    return m_page->text();
}

QString PrintProgress::documentLine() const
{
    return m_document->text();
}

QString PrintProgress::deviceLine() const
{
    return m_device->text();
}

void PrintProgress::closeEvent(QCloseEvent *event)
{
    // Closing the window counts as Cancel; the run closes it when it stops.
    m_cancelled = true;
    event->ignore();
}

void PrintProgress::reject()
{
    m_cancelled = true;
}

} // namespace qs

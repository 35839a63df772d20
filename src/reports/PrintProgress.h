#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace qs {

// The window shown while a report goes to the printer: which page is being printed, of which
// document, on which device, and a "Cancel" button that stops the run after the page in hand.
class PrintProgress : public QDialog
{
    Q_OBJECT
public:
    PrintProgress(const QString &document, const QString &device, const QString &port,
                  QWidget *parent);

    void setPage(int page);
    bool cancelled() const { return m_cancelled; }

    QString pageLine() const;
    QString documentLine() const;
    QString deviceLine() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    QLabel *m_page = nullptr;
    QLabel *m_document = nullptr;
    QLabel *m_device = nullptr;
    QPushButton *m_cancel = nullptr;
    bool m_cancelled = false;
};

} // namespace qs

#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace qs {

// The please-wait window of the legacy import: a message and how far the import has got.
// It offers nothing to operate and cannot be closed by the user.
class frmConverting : public QWidget
{
    Q_OBJECT
public:
    explicit frmConverting(QWidget *parent = nullptr);

    // Rows read so far of the count that the legacy table states.
    void setProgress(int rowsDone, int rowCount);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *lblMessage = nullptr;
    QProgressBar *prgRows = nullptr;
};

} // namespace qs

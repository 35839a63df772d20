#include "reports/frmPrint.h"

#include "reports/ReportPreview.h"
#include "store/Database.h"
#include "store/Recordsets.h"
#include "store/modRoutines.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace qs {

namespace {

template <typename W> W *named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

} // namespace

frmPrint::frmPrint(Database &db, std::shared_ptr<const ListSource> source, QWidget *parent)
    : QDialog(parent), m_db(db), m_source(std::move(source)),
      m_now([] { return QDateTime::currentDateTime(); }), m_printer(QPrinter::HighResolution)
{
    setObjectName(QStringLiteral("frmPrint"));
    setWindowTitle(QStringLiteral("Print"));
    // The surface places everything itself, from the sheet's corner.
    m_printer.setFullPage(true);
    m_printer.setDocName(QStringLiteral("Quillstack"));
    m_printer.setCreator(QStringLiteral("Quillstack"));
    m_surface.setOutput(&m_printer);
    buildUi();
}

frmPrint::~frmPrint() = default;

void frmPrint::buildUi()
{
    auto *layout = new QHBoxLayout(this);
    // The choices and buttons on the left, the preview on the right.
    auto *sidePanel = named(new QWidget(this), QStringLiteral("ElasticOne1"));
    auto *side = new QVBoxLayout(sidePanel);
    side->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(sidePanel);

    Frame1 =
        named(new QGroupBox(QStringLiteral("Report Content"), sidePanel), QStringLiteral("Frame1"));
    auto *frameLayout = new QVBoxLayout(Frame1);
    const QString captions[] = {QStringLiteral("Description"), QStringLiteral("ID"),
                                QStringLiteral("Type"), QStringLiteral("Date"),
                                QStringLiteral("Who")};
    for (int i = 0; i < 5; ++i) {
        chkFields[size_t(i)] =
            named(new QCheckBox(captions[i], Frame1), QStringLiteral("chkFields_%1").arg(i));
    }
    // ID and Description are always printed; their boxes only say so.
    for (int i : {0, 1}) {
        chkFields[size_t(i)]->setTristate(true);
        chkFields[size_t(i)]->setCheckState(Qt::PartiallyChecked);
    }
    for (int i : {1, 0, 2, 3, 4}) // top to bottom
        frameLayout->addWidget(chkFields[size_t(i)]);
    side->addWidget(Frame1);

    lblRecordCount = named(new QLabel(sidePanel), QStringLiteral("lblRecordCount"));
    side->addWidget(lblRecordCount);

    const auto button = [sidePanel, side](const QString &text, const QString &name) {
        auto *b = named(new QPushButton(text, sidePanel), name);
        b->setAutoDefault(false);
        side->addWidget(b);
        return b;
    };
    cmdPreview = button(QStringLiteral("Preview"), QStringLiteral("cmdPreview"));
    cmdPrint = button(QStringLiteral("Print"), QStringLiteral("cmdPrint"));
    cmdPrintSetup = button(QStringLiteral("Print Setup..."), QStringLiteral("cmdPrintSetup"));
    cmdSavePdf = button(QStringLiteral("Save as PDF..."), QStringLiteral("cmdSavePdf"));
    cmdExit = button(QStringLiteral("Exit"), QStringLiteral("cmdExit"));

    lblPrinted =
        named(new QLabel(QStringLiteral("Printed"), sidePanel), QStringLiteral("lblPrinted"));
    lblPrinted->setAlignment(Qt::AlignCenter);
    lblPrinted->setFrameShape(QFrame::Box);
    lblPrinted->setStyleSheet(
        QStringLiteral("QLabel { background-color: rgb(255, 255, 128); font-weight: bold; }"));
    lblPrinted->hide();
    side->addWidget(lblPrinted);
    side->addStretch();

    auto *previewPanel = named(new QWidget(this), QStringLiteral("ElasticOne2"));
    auto *previewLayout = new QVBoxLayout(previewPanel);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    VSP = named(new ReportPreview(previewPanel), QStringLiteral("VSP"));
    VSP->setAccessibleName(QStringLiteral("Preview"));
    VSP->hide();
    previewLayout->addWidget(VSP);
    layout->addWidget(previewPanel, 1);

    // Started with the window: its first tick hides the (already hidden) label and stops it.
    tmrPrinted = named(new QTimer(this), QStringLiteral("tmrPrinted"));
    tmrPrinted->setInterval(2000);
    tmrPrinted->start();

    connect(cmdPreview, &QPushButton::clicked, this, &frmPrint::cmdPreview_Click);
    connect(cmdPrint, &QPushButton::clicked, this, &frmPrint::cmdPrint_Click);
    connect(cmdPrintSetup, &QPushButton::clicked, this, &frmPrint::cmdPrintSetup_Click);
    connect(cmdSavePdf, &QPushButton::clicked, this, &frmPrint::cmdSavePdf_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmPrint::cmdExit_Click);
    connect(tmrPrinted, &QTimer::timeout, this, &frmPrint::tmrPrinted_Timer);
}

bool frmPrint::Form_Activate()
{
    m_report.reset();
    m_count = 0;
    m_typeNames.clear();
    if (m_source) {
        m_report = m_db.openDynaset(m_source, true);
        const auto *keyset = dynamic_cast<const KeysetRecordset *>(m_report.get());
        if (keyset && !keyset->lastError()) {
            const QString error = keyset->lastError().message();
            m_report.reset();
            showError(error);
            reject();
            return false;
        }
    }
    if (!m_report || m_report->eof() || m_report->bof()) {
        m_report.reset();
        MessageBox::show(this, QStringLiteral("No information to print."),
                         MessageBox::defaultTitle());
        reject();
        return false;
    }
    m_report->moveLast();
    m_count = m_report->recordCount();
    lblRecordCount->setText(QStringLiteral("%1 documents to print").arg(m_count));
    return true;
}

int frmPrint::exec()
{
    if (!Form_Activate())
        return QDialog::Rejected;
    return QDialog::exec();
}

ReportColumns frmPrint::wantedColumns() const
{
    // Only a plain tick counts; the greyed boxes of ID and Description are never read.
    ReportColumns columns;
    columns.type = chkFields[2]->checkState() == Qt::Checked;
    columns.date = chkFields[3]->checkState() == Qt::Checked;
    columns.who = chkFields[4]->checkState() == Qt::Checked;
    return columns;
}

QString frmPrint::typeName(qint16 key)
{
    auto it = m_typeNames.constFind(key);
    if (it == m_typeNames.constEnd())
        it = m_typeNames.insert(key, fnTypeName(m_db, key));
    return *it;
}

ReportRowSource frmPrint::rowSource()
{
    m_typeNames.clear();
    auto next = std::make_shared<int>(0);
    return [this, next](ReportRow &out) {
        Recordset &rs = *m_report;
        while (*next < m_count) {
            const int row = (*next)++;
            // A row that another copy of the program deleted meanwhile reads as empty.
            if (rs.valueAt(row, QStringLiteral("RecordPtr")).isNull())
                continue;
            const QVariant id = rs.valueAt(row, QStringLiteral("ID"));
            if (!id.isNull())
                out.id = id.toInt();
            const QVariant description = rs.valueAt(row, QStringLiteral("Description"));
            out.description = description.isNull() ? QString() : description.toString();
            out.type = typeName(qint16(rs.valueAt(row, QStringLiteral("DocumentType")).toInt()));
            const QVariant date = rs.valueAt(row, QStringLiteral("Date"));
            if (date.typeId() == QMetaType::QDate && date.toDate().isValid())
                out.date = date.toDate();
            const QVariant who = rs.valueAt(row, QStringLiteral("Who"));
            out.who = who.isNull() ? QString() : who.toString();
            return true;
        }
        return false;
    };
}

void frmPrint::cmdPreview_Click()
{
    PrintReport(true);
}

void frmPrint::cmdPrint_Click()
{
    PrintReport(false);
}

void frmPrint::cmdExit_Click()
{
    accept();
}

void frmPrint::tmrPrinted_Timer()
{
    tmrPrinted->stop();
    lblPrinted->hide();
}

void frmPrint::showPrinted()
{
    lblPrinted->show();
    tmrPrinted->start();
}

void frmPrint::showError(const QString &text)
{
    MessageBox::show(this, text, MessageBox::defaultTitle());
}

} // namespace qs

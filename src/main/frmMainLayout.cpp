// The main window's controls, layout, tab order and menus.
#include "frmMain.h"

#include "store/DataControl.h"
#include "widgets/DataGrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace qs {

namespace {

template <typename W> W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel *caption(const QString &text, int index, QWidget *parent)
{
    return named(new QLabel(text, parent),
                 QStringLiteral("Label1_%1").arg(index).toLatin1().constData());
}

QLabel *detailLabel(const char *name, const QString &spoken, QWidget *parent)
{
    auto *label = named(new QLabel(parent), name);
    // Read out by what it is; the value itself goes into the description.
    label->setAccessibleName(spoken);
    // Stored text is data, never markup: rich text would let a description
    // pull in files or render links.
    label->setTextFormat(Qt::PlainText);
    label->setFrameShape(QFrame::Box);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(60);
    return label;
}

void setTopic(QWidget *w, int topic)
{
    w->setProperty("helpTopic", topic);
}

} // namespace

void frmMain::buildUi()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("Image1"));
    setCentralWidget(central);

    // The record list on the left.
    auto *listPanel = named(new QWidget(central), "ElasticOne1");
    grdInfo = named(new DataGrid(dtaDocuments,
                                 {{QStringLiteral("Description"), QStringLiteral("Description")},
                                  {QStringLiteral("ID"), QStringLiteral("ID")}},
                                 listPanel),
                    "grdInfo");
    grdInfo->setAccessibleName(QStringLiteral("Documents"));
    auto *listLayout = new QVBoxLayout(listPanel);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addWidget(grdInfo);
    grdInfo->setMinimumWidth(270);
    // The description takes whatever width the number leaves.
    grdInfo->horizontalHeader()->setStretchLastSection(false);
    grdInfo->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    grdInfo->setColumnWidth(1, 70);
    setTopic(grdInfo, 7111);

    cmdAdd = named(new QPushButton(QStringLiteral("&Add"), central), "cmdAdd");
    cmdChange = named(new QPushButton(QStringLiteral("Change"), central), "cmdChange");
    cmdDelete = named(new QPushButton(QStringLiteral("Delete"), central), "cmdDelete");
    setTopic(cmdAdd, 7001);
    setTopic(cmdChange, 7002);
    setTopic(cmdDelete, 7003);
    auto *commands = new QHBoxLayout;
    commands->addWidget(cmdAdd);
    commands->addWidget(cmdChange);
    commands->addWidget(cmdDelete);

    // Detail panel.
    panView = named(new QFrame(central), "panView");
    panView->setFrameShape(QFrame::StyledPanel);
    panView->setAccessibleName(QStringLiteral("Details"));
    // Hidden on an empty list, it keeps its place: nothing else moves or
    // grows, least of all the filter box the user is typing in.
    QSizePolicy keepPlace = panView->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    panView->setSizePolicy(keepPlace);
    lblID = detailLabel("lblID", QStringLiteral("ID"), panView);
    lblDesc = detailLabel("lblDesc", QStringLiteral("Description"), panView);
    lblType = detailLabel("lblType", QStringLiteral("Type"), panView);
    lblDate = detailLabel("lblDate", QStringLiteral("Date"), panView);
    lblWho = detailLabel("lblWho", QStringLiteral("Who"), panView);
    // A read-only scrolling view: a note may be long, and laying a long
    // text out in a label would freeze the window.
    lblNote = named(new QPlainTextEdit(panView), "lblNote");
    lblNote->setAccessibleName(QStringLiteral("Note"));
    lblNote->setReadOnly(true);
    lblNote->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lblNote->setFrameShape(QFrame::Box);
    lblNote->setMinimumHeight(60);
    lblNote->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    auto *panel = new QGridLayout(panView);
    const QStringList detailCaptions = {QStringLiteral("ID:"), QStringLiteral("Desc:"),
                                        QStringLiteral("Type:"), QStringLiteral("Date:"),
                                        QStringLiteral("Who:")};
    const QList<QLabel *> values = {lblID, lblDesc, lblType, lblDate, lblWho};
    for (int i = 0; i < 5; ++i) {
        panel->addWidget(caption(detailCaptions[i], i, panView), i, 0);
        panel->addWidget(values[i], i, 1);
    }
    panel->addWidget(lblNote, 5, 0, 1, 2);
    panel->setColumnStretch(1, 1);
    panel->setRowStretch(5, 1);

    // Filter group and order group, side by side at the bottom right.
    auto *lowerPanel = named(new QWidget(central), "ElasticOne2");
    auto *filter = named(new QFrame(lowerPanel), "ElasticOne4");
    filter->setFrameShape(QFrame::StyledPanel);
    filter->setAccessibleName(QStringLiteral("Filter"));
    cmbType = named(new QComboBox(filter), "cmbType");
    cmbType->setEditable(true);
    cmbType->setInsertPolicy(QComboBox::NoInsert);
    cmbDate = named(new QComboBox(filter), "cmbDate");
    txtFilterDesc = named(new QLineEdit(filter), "txtFilterDesc");
    txtFilterWho = named(new QLineEdit(filter), "txtFilterWho");
    txtFilterNote = named(new QLineEdit(filter), "txtFilterNote");
    chkFilterOn = named(new QCheckBox(QStringLiteral("Filter On"), filter), "chkFilterOn");
    // Keeps every typed pattern within what each engine's pattern matching
    // accepts (SQLite's GLOB has the tightest limit).
    for (QLineEdit *box : {txtFilterDesc, txtFilterWho, txtFilterNote})
        box->setMaxLength(1000);
    setTopic(cmbType, 7114);
    setTopic(cmbDate, 7115);
    setTopic(txtFilterDesc, 7113);
    setTopic(txtFilterWho, 7112);
    setTopic(txtFilterNote, 7112);
    auto *filterGrid = new QGridLayout(filter);
    const QList<QPair<QString, QWidget *>> filterRows = {{QStringLiteral("Type:"), cmbType},
                                                         {QStringLiteral("Date:"), cmbDate},
                                                         {QStringLiteral("Desc:"), txtFilterDesc},
                                                         {QStringLiteral("Who:"), txtFilterWho},
                                                         {QStringLiteral("Note:"), txtFilterNote}};
    // Caption indexes follow the captions' own numbering: Type, Date, Who, Desc, Note.
    const int captionIndex[] = {5, 6, 8, 7, 9};
    const QStringList spokenNames = {QStringLiteral("Type"), QStringLiteral("Date"),
                                     QStringLiteral("Description"), QStringLiteral("Who"),
                                     QStringLiteral("Note")};
    for (int i = 0; i < filterRows.size(); ++i) {
        auto *label = caption(filterRows[i].first, captionIndex[i], filter);
        label->setBuddy(filterRows[i].second);
        filterRows[i].second->setAccessibleName(spokenNames[i]);
        filterGrid->addWidget(label, i, 0);
        filterGrid->addWidget(filterRows[i].second, i, 1);
    }
    filterGrid->addWidget(chkFilterOn, 5, 1);

    // Order group.
    auto *order = named(new QFrame(lowerPanel), "ElasticOne3");
    order->setFrameShape(QFrame::StyledPanel);
    order->setAccessibleName(QStringLiteral("Order"));
    auto *orderBox = new QVBoxLayout(order);
    const QStringList orderCaptions = {QStringLiteral("ID (descending)"),
                                       QStringLiteral("Description"), QStringLiteral("ID")};
    const int orderTopics[] = {7116, 7117, 7118};
    for (int i = 0; i < 3; ++i) {
        Order[size_t(i)] = named(new QRadioButton(orderCaptions[i], order),
                                 QStringLiteral("Order_%1").arg(i).toLatin1().constData());
        setTopic(Order[size_t(i)], orderTopics[i]);
        orderBox->addWidget(Order[size_t(i)]);
    }
    Order[0]->setChecked(true);
    orderBox->addStretch();
    cmdSetAsDefault =
        named(new QPushButton(QStringLiteral("Set as default"), order), "cmdSetAsDefault");
    orderBox->addWidget(cmdSetAsDefault);
    lblSetAsDefaultOk = named(new QLabel(QStringLiteral("SET"), order), "lblSetAsDefaultOk");
    lblSetAsDefaultOk->setAlignment(Qt::AlignCenter);
    lblSetAsDefaultOk->setFrameShape(QFrame::Box);
    lblSetAsDefaultOk->setAutoFillBackground(true);
    lblSetAsDefaultOk->setStyleSheet(QStringLiteral("background-color: #FFFF80; color: black;"));
    // Keeps its place while hidden, so nothing jumps when it shows.
    QSizePolicy keep = lblSetAsDefaultOk->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    lblSetAsDefaultOk->setSizePolicy(keep);
    lblSetAsDefaultOk->hide();
    orderBox->addWidget(lblSetAsDefaultOk);
    tmrSetAsDefault = new QTimer(this);
    tmrSetAsDefault->setObjectName(QStringLiteral("tmrSetAsDefault"));
    tmrSetAsDefault->setInterval(1000);
    tmrSetAsDefault->setSingleShot(true);

    auto *bottom = new QHBoxLayout(lowerPanel);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addWidget(filter, 3);
    bottom->addWidget(order, 2);
    auto *right = new QVBoxLayout;
    right->addLayout(commands);
    right->addWidget(panView, 1);
    right->addWidget(lowerPanel);
    auto *whole = new QHBoxLayout(central);
    whole->addWidget(listPanel, 1);
    whole->addLayout(right, 1);

    // Tab order as the controls are numbered.
    QWidget::setTabOrder(grdInfo, cmdAdd);
    QWidget::setTabOrder(cmdAdd, cmdChange);
    QWidget::setTabOrder(cmdChange, cmdDelete);
    QWidget::setTabOrder(cmdDelete, cmbType);
    QWidget::setTabOrder(cmbType, cmbDate);
    QWidget::setTabOrder(cmbDate, txtFilterDesc);
    QWidget::setTabOrder(txtFilterDesc, txtFilterWho);
    QWidget::setTabOrder(txtFilterWho, txtFilterNote);
    QWidget::setTabOrder(txtFilterNote, chkFilterOn);
    QWidget::setTabOrder(chkFilterOn, Order[0]);
    QWidget::setTabOrder(Order[0], Order[1]);
    QWidget::setTabOrder(Order[1], Order[2]);
    QWidget::setTabOrder(Order[2], cmdSetAsDefault);

    // Handlers.
    connect(cmdAdd, &QPushButton::clicked, this, &frmMain::cmdAdd_Click);
    connect(cmdChange, &QPushButton::clicked, this, &frmMain::cmdChange_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmMain::cmdDelete_Click);
    connect(grdInfo, &DataGrid::activatedRow, this, &frmMain::cmdChange_Click);
    // The Delete key in the list is the Delete command, question and all.
    auto *deleteKey =
        new QShortcut(QKeySequence(Qt::Key_Delete), grdInfo, nullptr, nullptr, Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, &frmMain::cmdDelete_Click);
    connect(chkFilterOn, &QCheckBox::clicked, this, &frmMain::chkFilterOn_Click);
    connect(cmbType, &QComboBox::currentIndexChanged, this, &frmMain::cmbType_Click);
    // Typing into the type list raises no click: the box would otherwise
    // make typed text that names an entry its choice when editing ends (Tab,
    // Enter, focus loss), refreshing the list and pulling the focus back.
    // Only a choice from the list, or an arrow key on the box, chooses.
    disconnect(cmbType->lineEdit(), &QLineEdit::editingFinished, cmbType, nullptr);
    disconnect(cmbType->lineEdit(), &QLineEdit::returnPressed, cmbType, nullptr);
    connect(cmbDate, &QComboBox::currentIndexChanged, this, &frmMain::cmbDate_Click);
    connect(txtFilterDesc, &QLineEdit::textChanged, this, &frmMain::txtFilterDesc_Change);
    connect(txtFilterWho, &QLineEdit::textChanged, this, &frmMain::txtFilterWho_Change);
    connect(txtFilterNote, &QLineEdit::textChanged, this, &frmMain::txtFilterNote_Change);
    for (int i = 0; i < 3; ++i)
        connect(Order[size_t(i)], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                Order_Click(i);
        });
    connect(cmdSetAsDefault, &QPushButton::clicked, this, &frmMain::cmdSetAsDefault_Click);
    connect(tmrSetAsDefault, &QTimer::timeout, this, &frmMain::tmrSetAsDefault_Timer);
    connect(dtaDocuments, &DataControl::currentChanged, this,
            &frmMain::DisplayCurrentRecordInformation);
    for (QWidget *w : {static_cast<QWidget *>(cmbType), static_cast<QWidget *>(cmbDate),
                       static_cast<QWidget *>(txtFilterDesc), static_cast<QWidget *>(txtFilterWho),
                       static_cast<QWidget *>(txtFilterNote)})
        w->installEventFilter(this);
    // The editable part of the type list has focus events of its own.
    cmbType->lineEdit()->installEventFilter(this);

    panView->hide();
    setFixedSize(QSize(800, 520).expandedTo(sizeHint()));
}

void frmMain::buildMenus()
{
    QMenu *mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    QAction *mnuPrint = mnuFile->addAction(QStringLiteral("Print..."));
    mnuPrint->setObjectName(QStringLiteral("mnuPrint"));
    mnuPrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    QAction *mnuExportCsv = mnuFile->addAction(QStringLiteral("Export List as CSV..."));
    mnuExportCsv->setObjectName(QStringLiteral("mnuExportCsv"));
    QAction *mnuDash1 = mnuFile->addSeparator();
    mnuDash1->setObjectName(QStringLiteral("mnuDash1"));
    QAction *mnuFileExit = mnuFile->addAction(QStringLiteral("Exit"));
    mnuFileExit->setObjectName(QStringLiteral("mnuFileExit"));

    QMenu *mnuMaintenance = menuBar()->addMenu(QStringLiteral("&Maintenance"));
    mnuMaintenance->setObjectName(QStringLiteral("mnuMaintenance"));
    QAction *mnuManageTypes = mnuMaintenance->addAction(QStringLiteral("Manage Types..."));
    mnuManageTypes->setObjectName(QStringLiteral("mnuManageTypes"));
    mnuManageTypes->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));

    QMenu *mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    QAction *mnuHelpContents = mnuHelp->addAction(QStringLiteral("Contents..."));
    mnuHelpContents->setObjectName(QStringLiteral("mnuHelpContents"));
    mnuHelpContents->setProperty("helpTopic", 7003);
    QAction *mnuHelpAbout = mnuHelp->addAction(QStringLiteral("About..."));
    mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));

    connect(mnuPrint, &QAction::triggered, this, &frmMain::mnuPrint_Click);
    connect(mnuExportCsv, &QAction::triggered, this, &frmMain::mnuExportCsv_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(mnuManageTypes, &QAction::triggered, this, &frmMain::mnuManageTypes_Click);
    connect(mnuHelpContents, &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}

} // namespace qs

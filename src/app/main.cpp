// Quillstack: an index of paper and electronic documents.
#include "Version.h"
#include "app/CommandLine.h"
#include "import/LegacyImport.h"
#include "main/HelpSupport.h"
#include "main/Session.h"
#include "main/frmMain.h"
#include "store/Schema.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>

#include <algorithm>

#include <cstdio>
#include <cstdlib>

namespace {

// Without a display the toolkit would abort with an obscure error.
bool haveDisplay()
{
    if (std::getenv("QT_QPA_PLATFORM"))
        return true;
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

// Testing aid: with QSK_QUIT_AFTER_START=1 every message box of start-up is answered with OK
// and its text printed on standard output, and the program ends as soon as start-up is
// done, so that a test can run the real program unattended. With QSK_QUIT_AFTER_START=help
// it opens the help contents first and prints "Help: " and the help file it read, so that
// a check of an installed copy sees that it finds its files.
bool quitAfterStart()
{
    const QByteArray value = qgetenv("QSK_QUIT_AFTER_START");
    return value == "1" || value == "help";
}

bool openHelpBeforeQuitting()
{
    return qgetenv("QSK_QUIT_AFTER_START") == "help";
}

void prepareUnattendedStart()
{
    // Start-up shows at most one box (the failure, or how the legacy import went), and the
    // help one more when its file is missing.
    for (int i = 0; i < 3; ++i)
        qs::MessageBox::queueAnswer(QMessageBox::Ok);
}

void printShownMessages()
{
    for (const QString &text : qs::MessageBox::shownTexts())
        std::printf("%s\n----\n", text.toUtf8().constData());
    std::fflush(stdout);
}

void nameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quillstack"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillstack"));
    QCoreApplication::setApplicationVersion(QLatin1String(qs::ProgramVersion));
}

qs::Status exportIndex(const qs::CommandLine &line)
{
    qs::Session session;
    if (line.onServer) {
        session.useServer(line.conninfo, line.copyFrom);
    } else if (!QFileInfo::exists(qs::schema::DatabaseFile)) {
        // An export never creates a database file: a missing one is most likely a wrong folder.
        return qs::Status::failure(QStringLiteral("There is no database \"%1\" in the folder "
                                                  "\"%2\".")
                                       .arg(qs::schema::DatabaseFile, QDir::currentPath()));
    }
    if (const qs::Status s = session.open(); !s)
        return s;
    return qs::exportIndexCsv(*session.database(), line.exportFile);
}

// Shows how a copy to the server goes; the copy runs in one transaction, so
// the window offers no way to stop it half-way.
class CopyProgressWindow
{
public:
    CopyProgressWindow()
    {
        m_dialog.setWindowTitle(QStringLiteral("Quillstack"));
        m_dialog.setLabelText(QStringLiteral("Copying the documents to the database server..."));
        m_dialog.setCancelButton(nullptr);
        m_dialog.setMinimumDuration(500);
        m_dialog.setAccessibleName(QStringLiteral("Copying to the server"));
    }
    qs::CopyProgress listener()
    {
        return [this](qint64 done, qint64 total) {
            // The bar counts in thousands, so a large file fits its int range.
            m_dialog.setMaximum(int(std::max<qint64>(1, total / 1000)));
            m_dialog.setValue(int(std::min(done, total) / 1000));
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        };
    }

private:
    QProgressDialog m_dialog;
};

// Help, version and the export: no display and no window.
int runWithoutWindow(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    nameApplication();
    const qs::CommandLine line = qs::parseCommandLine(QCoreApplication::arguments());
    switch (line.action) {
    case qs::CommandLine::Action::PrintText:
        std::fputs(line.text.toLocal8Bit().constData(), stdout);
        return 0;
    case qs::CommandLine::Action::Fail:
    case qs::CommandLine::Action::OpenWindow:
        std::fputs(line.text.toLocal8Bit().constData(), stderr);
        return 2;
    case qs::CommandLine::Action::ExportCsv:
        break;
    }
    qs::Status s = qs::enterWorkFolder(line.folder);
    if (s)
        s = exportIndex(line);
    if (!s) {
        std::fprintf(stderr, "quillstack: %s\n", s.message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    {
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        if (qs::runsWithoutWindow(arguments))
            return runWithoutWindow(argc, argv);
    }
    if (!haveDisplay()) {
        std::fprintf(stderr,
                     "Quillstack needs a graphical display, and none was found.\n"
                     "Start it from a desktop session, or without one under a virtual "
                     "display:\n  xvfb-run -a %s\n",
                     argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    nameApplication();
    // Lets the desktop match the window to the launcher and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quillstack.Quillstack"));
    // Parsed after the toolkit has taken its own options (-platform, -session, ...).
    const qs::CommandLine line = qs::parseCommandLine(QApplication::arguments());
    if (line.action != qs::CommandLine::Action::OpenWindow) {
        std::fputs(line.text.toLocal8Bit().constData(), stderr);
        return 2;
    }
    // F1 opens the help at the topic of the control with the focus, in every window.
    const qs::HelpSupport help;
    const bool unattended = quitAfterStart();
    if (unattended)
        prepareUnattendedStart();
    if (const qs::Status s = qs::enterWorkFolder(line.folder); !s) {
        qs::MessageBox::show(nullptr, s.message(), QStringLiteral("Quillstack"), QMessageBox::Ok,
                             QMessageBox::Critical);
        if (unattended)
            printShownMessages();
        return 1;
    }

    // Runs on the start that creates the database; its outcome is told once the database
    // is in place.
    qs::LegacyImport legacyImport;
    qs::Session session;
    session.setNewDatabaseFiller(legacyImport.filler());
    CopyProgressWindow copyProgress;
    if (line.onServer)
        session.useServer(line.conninfo, line.copyFrom, copyProgress.listener());
    qs::frmMain window(session);
    if (const qs::Status s = window.Form_Initialize(); !s) {
        qs::MessageBox::show(nullptr, s.message(), QStringLiteral("Quillstack"), QMessageBox::Ok,
                             QMessageBox::Critical);
        if (unattended)
            printShownMessages();
        return 1;
    }
    window.show();
    // Another copy that created the database at the same moment won: its
    // import is the one that counts, and this one was discarded.
    if (session.created())
        legacyImport.reportOutcome(&window, qs::schema::DatabaseFile);
    if (unattended) {
        const bool helpOpened = !openHelpBeforeQuitting() || qs::showHelp(&window, 0);
        printShownMessages();
        if (openHelpBeforeQuitting() && helpOpened)
            std::printf("Help: %s\n", qs::findHelpFile().toUtf8().constData());
        return helpOpened ? 0 : 1;
    }
    return app.exec();
}

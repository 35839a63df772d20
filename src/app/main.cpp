// Quillstack: an index of paper and electronic documents.
#include "import/LegacyImport.h"
#include "main/HelpSupport.h"
#include "main/Session.h"
#include "main/frmMain.h"
#include "widgets/MessageBox.h"
#include "store/Schema.h"

#include <QApplication>

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
// done, so that a test can run the real program unattended.
bool quitAfterStart()
{
    return qEnvironmentVariableIntValue("QSK_QUIT_AFTER_START") == 1;
}

void prepareUnattendedStart()
{
    // Start-up shows at most one box: the failure, or how the legacy import went.
    for (int i = 0; i < 2; ++i)
        qs::MessageBox::queueAnswer(QMessageBox::Ok);
}

void printShownMessages()
{
    for (const QString &text : qs::MessageBox::shownTexts())
        std::printf("%s\n----\n", text.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (!haveDisplay()) {
        std::fprintf(stderr,
                     "Quillstack needs a graphical display, and none was found.\n"
                     "Start it from a desktop session, or without one under a virtual "
                     "display:\n  xvfb-run -a %s\n",
                     argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillstack"));
    QApplication::setApplicationName(QStringLiteral("Quillstack"));
    QApplication::setApplicationVersion(QStringLiteral("3.2.15"));
    // F1 opens the help at the topic of the control with the focus, in every window.
    const qs::HelpSupport help;
    const bool unattended = quitAfterStart();
    if (unattended)
        prepareUnattendedStart();

    // Runs on the start that creates the database; its outcome is told once the database
    // is in place.
    qs::LegacyImport legacyImport;
    qs::Session session;
    session.setNewDatabaseFiller(legacyImport.filler());
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
        printShownMessages();
        return 0;
    }
    return app.exec();
}

// Quillstack: an index of paper and electronic documents.
#include "main/frmMain.h"
#include "store/MessageBox.h"

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

} // namespace

int main(int argc, char **argv)
{
    if (!haveDisplay()) {
        std::fprintf(stderr, "Quillstack needs a graphical display, and none was found.\n"
                             "Start it from a desktop session, or without one under a virtual "
                             "display:\n  xvfb-run -a %s\n",
                     argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillstack"));
    QApplication::setApplicationName(QStringLiteral("Quillstack"));
    QApplication::setApplicationVersion(QStringLiteral("3.2.15"));

    qs::frmMain window;
    if (const qs::Status s = window.Form_Initialize(); !s) {
        qs::MessageBox::show(nullptr, s.message(), QStringLiteral("Quillstack"), QMessageBox::Ok,
                             QMessageBox::Critical);
        return 1;
    }
    window.show();
    return app.exec();
}

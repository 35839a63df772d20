#pragma once

// The main window as main() builds it: over a session that outlives it
// (the session base is built first and goes last). The window tests' common ground comes
// with it: its record sets and grid, the message boxes, the modal driver, row tables and Qt.

#include "main/Session.h"
#include "main/frmMain.h"
#include "store/DataControl.h"
#include "support/Modal.h"
#include "support/Rows.h"
#include "support/TestSupport.h"
#include "widgets/DataGrid.h"
#include "widgets/MessageBox.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>

namespace qs::test {

struct SessionHolder
{
    Session session;
};

class MainWindow : public SessionHolder, public frmMain
{
public:
    MainWindow() : frmMain(SessionHolder::session) {}
};

// The usual start of a window test: a folder of its own made current, a database made
// from the template and filled by `seed`, and the main window over it, shown and active,
// with today fixed at 4 December 2026.
class MainWindowFixture
{
public:
    TestFolder folder;
    std::unique_ptr<MainWindow> window;

    // Makes the folder's database (none when `seed` is null) and starts the window.
    bool open(const std::function<void(Database &)> &seed);
    // Starts a new main window over the folder, in place of the last one.
    bool start();
    MainWindow &w() const { return *window; }
};

} // namespace qs::test

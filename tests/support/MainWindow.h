#pragma once

// The main window as main() builds it: over a session that outlives it
// (the session base is built first and goes last).

#include "main/Session.h"
#include "main/frmMain.h"

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

} // namespace qs::test

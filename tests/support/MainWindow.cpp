#include "MainWindow.h"

#include "store/Schema.h"

namespace qs::test {

bool MainWindowFixture::open(const std::function<void(Database &)> &seed)
{
    if (seed) {
        auto db = makeDatabase(folder.file(schema::DatabaseFile));
        if (!db)
            return false;
        seed(*db);
    }
    return start();
}

bool MainWindowFixture::start()
{
    window.reset();
    window = std::make_unique<MainWindow>();
    window->setToday([] { return QDate(2026, 12, 4); });
    if (!window->Form_Initialize())
        return false;
    window->show();
    return QTest::qWaitForWindowActive(window.get());
}

} // namespace qs::test

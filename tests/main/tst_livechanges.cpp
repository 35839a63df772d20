// Other copies' writes shown live, on the file and on the server: a real main window, and
// another process writing.

#include "main/DocumentIndexService.h"
#include "main/OtherWritersWatch.h"
#include "support/MainWindow.h"

using namespace qs;
using namespace qs::test;

namespace {

// Another copy of the program writes: one statement, from its own process.
void otherProcessRuns(const QString &location, const QString &sql, const QStringList &values = {})
{
    QProcess p;
    p.start(QDir(buildDir()).filePath("tests/store/qs_worker"),
            QStringList{location, "exec", sql} + values);
    QVERIFY2(p.waitForFinished(10000) && p.exitCode() == 0, p.readAllStandardError().constData());
}

std::unique_ptr<Database> seeded(int count)
{
    auto db = makeDatabase("Qsk.MDB");
    Transaction t(*db);
    for (int i = 1; i <= count; ++i)
        addDocument(*db, {i, QString("Doc %1").arg(i), 0, QVariant(), QString("Who %1").arg(i)});
    return t.commit() ? std::move(db) : nullptr;
}

} // namespace

class tst_LiveChanges : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // List in ID order, highest first: 40 down to 1. The user stands on ID 28 with ID 30
    // at the top of the grid, typing in the filter.
    void windowShowsOtherWritesInPlace_data()
    {
        // The other copy's SQL, then its values; then the rows listed, the current ID and its
        // description once the change shows.
        columns<QStringList, bool, int, int, QString>("sql", "editing", "rows", "id", "desc");
        const QStringList renamed{"UPDATE Documents SET Description = ? WHERE ID = ?",
                                  "Doc renamed", "28"};
        const QString remove = "DELETE FROM Documents WHERE ID = ?";
        const QString insert =
            "INSERT INTO Documents (ID, Description, DocumentType) VALUES (?, ?, 0)";
        row("current record changed", renamed, false, 40, 28, "Doc renamed");
        row("added above", QStringList{insert, "99", "Doc new"}, false, 41, 28, "Doc 28");
        row("other record deleted", QStringList{remove, "35"}, false, 39, 28, "Doc 28");
        row("current record deleted: the next one takes its place", QStringList{remove, "28"},
            false, 39, 27, "Doc 27");
        row("changed while a row is edited: shown after", renamed, true, 40, 28, "Doc renamed");
    }
    void windowShowsOtherWritesInPlace()
    {
        const auto [statement, whileEditing, rows, current, desc] =
            fetch<QStringList, bool, int, int, QString>("sql", "editing", "rows", "id", "desc");
        TestFolder folder;
        auto db = seeded(40);
        QVERIFY(db);
        const QString location = testLocation(*db);
        if (currentEngine() == Engine::Server) {
            // As a database set up before the change feed: opening adds it.
            for (const char *t : {"Added", "Changed", "Deleted"})
                QVERIFY(db->exec({QString("DROP TRIGGER Documents_%1 ON Documents").arg(t), {}}));
            db.reset();
            auto opened = openServerDatabase(location);
            QVERIFY2(opened, qPrintable(opened.error()));
            db = std::move(opened->db);
        }
        test::MainWindow w;
        w.session.adopt(std::move(db));
        QVERIFY(w.Form_Initialize());
        w.resize(900, 700);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto *grid = w.findChild<DataGrid *>("grdInfo");
        auto *filter = w.findChild<QLineEdit *>("txtFilterDesc");
        auto *lblDesc = w.findChild<QLabel *>("lblDesc");
        w.findChild<QCheckBox *>("chkFilterOn")->setChecked(true);
        filter->setFocus();
        QTest::keyClicks(filter, "do");
        QTest::keyClick(filter, Qt::Key_Left);
        Recordset *rs = w.documents()->recordset();
        const auto idAt = [rs](int row) { return rs->valueAt(row, "ID").toInt(); };
        rs->setAbsolutePosition(12);
        grid->showAtTop(10);
        if (whileEditing)
            QVERIFY(rs->edit());

        otherProcessRuns(location, statement.first(), statement.mid(1));
        if (whileEditing) {
            // Nothing moves under the edit; the change waits for its end.
            QTest::qWait(3 * OtherWritersWatch::kIntervalMs);
            QVERIFY(rs->editMode() == EditMode::Edit && lblDesc->text() == " Doc 28");
            rs->cancelUpdate();
        }
        QTRY_COMPARE_WITH_TIMEOUT(rs->rowCount(), rows, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(lblDesc->text(), " " + desc, 3000);
        // The grid shows the rows as they now are, with the same top row; typing goes on
        // where it was.
        const int at = rs->absolutePosition();
        QCOMPARE(
            QVariantList({idAt(at), grid->currentIndex().row(), idAt(grid->topRow()),
                          grid->model()->index(at, 0).data(), QApplication::focusWidget() == filter,
                          filter->text(), filter->cursorPosition()}),
            QVariantList({current, at, 30, desc, true, "DO", 1}));
    }

    // The index follows other writers: row by row where the server names the rows, by
    // reading everything again where it cannot.
    void indexFollowsOtherWrites_data()
    {
        columns<QString, bool>("where", "loseConnection");
        const bool server = currentEngine() == Engine::Server;
        row(server ? "one row" : "one row, read again", "ID = 7", false);
        if (!server)
            return;
        row("many rows in one statement", "ID >= 7", false);
        row("many statements", "many", false);
        row("while the connection was lost", "ID = 7", true);
    }
    void indexFollowsOtherWrites()
    {
        const auto [where, loseConnection] = fetch<QString, bool>("where", "loseConnection");
        const bool rowByRow = QTest::currentDataTag() == QByteArray("one row");
        TestFolder folder;
        auto db = seeded(1100);
        QVERIFY(db);
        DocumentIndexService index(*db);
        index.start();
        index.waitUntilReady();
        DocumentQuery query;
        query.filterOn = true;
        query.description = "FRESH";
        std::vector<qint64> keys;
        QVERIFY(index.select(query, keys) && keys.empty());

        const QString location = testLocation(*db);
        if (loseConnection) // as a server restart would
            QVERIFY(TestServer::instance().admin(
                {"SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity "
                 "WHERE datname = ? AND pid <> pg_backend_pid()",
                 {location.section('=', 1)}}));
        const QString update = "UPDATE Documents SET Description = 'Doc fresh' WHERE ";
        const QString each = "DO $$ DECLARE k bigint; BEGIN FOR k IN SELECT RecordPtr FROM "
                             "Documents WHERE ID >= 7 LOOP " +
                             update + "RecordPtr = k; END LOOP; END $$";
        otherProcessRuns(location, where != "many" ? update + where : each);
        if (loseConnection) // the next command connects again
            QVERIFY(db->query({"SELECT 1", {}}));
        QSignalSpy heard(&index, &DocumentIndexService::changedElsewhere);
        QSignalSpy reloaded(&index, &DocumentIndexService::ready);
        OtherWritersWatch watch(*db, {});
        QTRY_VERIFY_WITH_TIMEOUT(!heard.isEmpty(), 3000);
        index.waitUntilReady();
        QCOMPARE(reloaded.count(), rowByRow ? 0 : 1);
        keys.clear();
        QVERIFY(index.select(query, keys));
        auto rows = db->query(
            {"SELECT RecordPtr FROM Documents WHERE Description = 'Doc fresh' ORDER BY ID DESC",
             {}});
        QVERIFY(rows && !keys.empty());
        QCOMPARE(keys.size(), rows->size());
        QCOMPARE(keys.front(), rows->front().values.value(0).toLongLong());
    }
};

QSK_TEST_MAIN_EVERY_ENGINE_WITH(QApplication, tst_LiveChanges)
#include "tst_livechanges.moc"

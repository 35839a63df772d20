// Other copies' writes shown live, on the file and on the server: a real main window, and
// another process writing.
#include "support/TestSupport.h"

#include "main/DocumentIndexService.h"
#include "main/OtherWritersWatch.h"
#include "main/frmMain.h"
#include "store/DataControl.h"
#include "support/MainWindow.h"
#include "widgets/DataGrid.h"

#include <QSignalSpy>
#include <QtWidgets>

using namespace qs;
using namespace qs::test;

namespace {

// Another copy of the program writes: one statement, from its own process.
void otherProcessRuns(const QString &location, const QString &sql, const QStringList &values = {})
{
    QProcess p;
    p.start(QDir(buildDir()).filePath("tests/store/qs_worker"),
            QStringList{location, "exec", sql} + values);
    QVERIFY(p.waitForFinished(10000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
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
        QTest::addColumn<QStringList>("statement"); // SQL, then its values
        QTest::addColumn<bool>("whileEditing");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("desc");
        const QString update = "UPDATE Documents SET Description = ? WHERE ID = ?";
        const QString remove = "DELETE FROM Documents WHERE ID = ?";
        QTest::newRow("current record changed")
            << QStringList{update, "Doc renamed", "28"} << false << 40 << 28 << "Doc renamed";
        QTest::newRow("added above")
            << QStringList{"INSERT INTO Documents (ID, Description, DocumentType) "
                           "VALUES (?, ?, 0)",
                           "99", "Doc new"}
            << false << 41 << 28 << "Doc 28";
        QTest::newRow("other record deleted")
            << QStringList{remove, "35"} << false << 39 << 28 << "Doc 28";
        QTest::newRow("current record deleted: the next one takes its place")
            << QStringList{remove, "28"} << false << 39 << 27 << "Doc 27";
        QTest::newRow("changed while a row is edited: shown after")
            << QStringList{update, "Doc renamed", "28"} << true << 40 << 28 << "Doc renamed";
    }
    void windowShowsOtherWritesInPlace()
    {
        QFETCH(QStringList, statement);
        QFETCH(bool, whileEditing);
        QFETCH(int, rows);
        QFETCH(int, current);
        QFETCH(QString, desc);
        TestFolder folder;
        auto db = seeded(40);
        QVERIFY(db);
        const QString location = testLocation(*db);
        if (currentEngine() == Engine::Server) {
            // As a database set up before the change feed: opening adds it.
            for (const char *trigger : {"Added", "Changed", "Deleted"})
                QVERIFY(
                    db->exec({QString("DROP TRIGGER Documents_%1 ON Documents").arg(trigger), {}}));
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
            QCOMPARE(rs->editMode(), EditMode::Edit);
            QCOMPARE(lblDesc->text(), " Doc 28");
            rs->cancelUpdate();
        }
        QTRY_COMPARE_WITH_TIMEOUT(rs->rowCount(), rows, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(lblDesc->text(), " " + desc, 3000);
        QCOMPARE(idAt(rs->absolutePosition()), current);
        QCOMPARE(grid->currentIndex().row(), rs->absolutePosition());
        QCOMPARE(idAt(grid->topRow()), 30);
        // The grid shows the rows as they now are; typing goes on where it was.
        QCOMPARE(grid->model()->index(rs->absolutePosition(), 0).data().toString(), desc);
        QCOMPARE(QApplication::focusWidget(), filter);
        QCOMPARE(filter->text(), "DO");
        QCOMPARE(filter->cursorPosition(), 1);
    }

    // The index follows other writers: row by row where the server names the rows, by
    // reading everything again where it cannot.
    void indexFollowsOtherWrites_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("loseConnection");
        const bool server = currentEngine() == Engine::Server;
        QTest::newRow(server ? "one row" : "one row, read again") << "ID = 7" << false;
        if (!server)
            return;
        QTest::newRow("many rows in one statement") << "ID >= 7" << false;
        QTest::newRow("many statements") << "many" << false;
        QTest::newRow("while the connection was lost") << "ID = 7" << true;
    }
    void indexFollowsOtherWrites()
    {
        QFETCH(QString, where);
        QFETCH(bool, loseConnection);
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
        otherProcessRuns(location, where != "many"
                                       ? update + where
                                       : "DO $$ DECLARE k bigint; BEGIN FOR k IN "
                                         "SELECT RecordPtr FROM Documents WHERE ID >= "
                                         "7 LOOP " +
                                             update + "RecordPtr = k; END LOOP; END $$");
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

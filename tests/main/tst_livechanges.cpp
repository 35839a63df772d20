// Other copies' writes shown live, on the file and on the server: a real
// main window, and another process writing.
#include "support/TestSupport.h"

#include "main/DocumentIndexService.h"
#include "main/OtherWritersWatch.h"
#include "main/frmMain.h"
#include "store/DataControl.h"
#include "support/MainWindow.h"
#include "widgets/DataGrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>

using namespace qs;
using namespace qs::test;

namespace {

// Another copy of the program writes: one statement, from its own process.
void otherProcessRuns(const QString &location, const QString &sql, const QStringList &values = {})
{
    QProcess p;
    p.start(QDir(buildDir()).filePath(QStringLiteral("tests/store/qs_worker")),
            QStringList{location, QStringLiteral("exec"), sql} + values);
    QVERIFY(p.waitForFinished(10000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
}

std::unique_ptr<Database> seeded(int count)
{
    auto db = makeDatabase(QStringLiteral("Qsk.MDB"));
    Transaction t(*db);
    for (int i = 1; i <= count; ++i)
        addDocument(*db, {i, QStringLiteral("Doc %1").arg(i), 0, QVariant(),
                          QStringLiteral("Who %1").arg(i)});
    if (!t.commit())
        return nullptr;
    return db;
}

int idAt(frmMain &w, int row)
{
    return w.documents()->recordset()->valueAt(row, QStringLiteral("ID")).toInt();
}

QList<int> listIds(frmMain &w)
{
    QList<int> out;
    for (int i = 0; i < w.documents()->recordset()->rowCount(); ++i)
        out << idAt(w, i);
    return out;
}

} // namespace

class tst_LiveChanges : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // List in ID order, highest first: 40 down to 1. The user stands on
    // ID 28 with ID 30 at the top of the grid, typing in the filter.
    void windowShowsOtherWritesInPlace_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<bool>("whileEditing");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("panelDesc");
        const QString update = QStringLiteral("UPDATE Documents SET Description = ? WHERE ID = ?");
        const QString insert = QStringLiteral(
            "INSERT INTO Documents (ID, Description, DocumentType) VALUES (?, ?, 0)");
        const QString remove = QStringLiteral("DELETE FROM Documents WHERE ID = ?");
        QTest::newRow("current record changed")
            << update << QStringList{"Doc renamed", "28"} << false << 40 << 28 << " Doc renamed";
        QTest::newRow("added above")
            << insert << QStringList{"99", "Doc new"} << false << 41 << 28 << " Doc 28";
        QTest::newRow("other record deleted")
            << remove << QStringList{"35"} << false << 39 << 28 << " Doc 28";
        QTest::newRow("current record deleted: the next one takes its place")
            << remove << QStringList{"28"} << false << 39 << 27 << " Doc 27";
        QTest::newRow("changed while a row is edited: shown after")
            << update << QStringList{"Doc renamed", "28"} << true << 40 << 28 << " Doc renamed";
    }
    void windowShowsOtherWritesInPlace()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, values);
        QFETCH(bool, whileEditing);
        QFETCH(int, rows);
        QFETCH(int, current);
        QFETCH(QString, panelDesc);
        TestFolder folder;
        auto db = seeded(40);
        QVERIFY(db);
        const QString location = testLocation(*db);
        if (currentEngine() == Engine::Server) {
            // As a database set up before the change feed: opening adds it.
            for (const char *trigger : {"Added", "Changed", "Deleted"})
                QVERIFY(db->exec({QStringLiteral("DROP TRIGGER Documents_%1 ON Documents")
                                      .arg(QLatin1String(trigger)),
                                  {}}));
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
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto *grid = w.findChild<DataGrid *>(QStringLiteral("grdInfo"));
        auto *desc = w.findChild<QLineEdit *>(QStringLiteral("txtFilterDesc"));
        auto *lblDesc = w.findChild<QLabel *>(QStringLiteral("lblDesc"));
        w.findChild<QCheckBox *>(QStringLiteral("chkFilterOn"))->setChecked(true);
        desc->setFocus();
        QTest::keyClicks(desc, QStringLiteral("do"));
        QTest::keyClick(desc, Qt::Key_Left);
        Recordset *rs = w.documents()->recordset();
        rs->setAbsolutePosition(12);
        grid->showAtTop(10);
        QCOMPARE(idAt(w, grid->topRow()), 30);
        QCOMPARE(rs->value(QStringLiteral("ID")).toInt(), 28);
        if (whileEditing)
            QVERIFY(rs->edit());

        otherProcessRuns(location, sql, values);
        if (whileEditing) {
            // Nothing moves under the edit; the change waits for its end.
            QTest::qWait(3 * OtherWritersWatch::kIntervalMs);
            QCOMPARE(rs->editMode(), EditMode::Edit);
            QCOMPARE(lblDesc->text(), QStringLiteral(" Doc 28"));
            rs->cancelUpdate();
        }
        QTRY_COMPARE_WITH_TIMEOUT(rs->rowCount(), rows, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(lblDesc->text(), panelDesc, 3000);
        QCOMPARE(rs->value(QStringLiteral("ID")).toInt(), current);
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lblID"))->text(),
                 QStringLiteral(" %1").arg(current));
        QCOMPARE(grid->currentIndex().row(), rs->absolutePosition());
        QCOMPARE(idAt(w, grid->topRow()), 30);
        // The grid shows the rows as they now are.
        QCOMPARE(grid->model()->index(rs->absolutePosition(), 0).data().toString(),
                 panelDesc.mid(1));
        QCOMPARE(listIds(w).contains(99), rows == 41);
        // Typing goes on where it was.
        QCOMPARE(QApplication::focusWidget(), desc);
        QCOMPARE(desc->text(), QStringLiteral("DO"));
        QCOMPARE(desc->cursorPosition(), 1);
    }

    // The index follows other writers: row by row where the server names the
    // rows, by reading everything again where it cannot.
    void indexFollowsOtherWrites_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("loseConnection");
        QTest::addColumn<bool>("rowByRow");
        const bool server = currentEngine() == Engine::Server;
        QTest::newRow("one row")
            << QStringLiteral("UPDATE Documents SET Description = 'Doc fresh' WHERE ID = 7")
            << false << server;
        if (!server)
            return;
        QTest::newRow("many rows in one statement")
            << QStringLiteral("UPDATE Documents SET Description = 'Doc fresh' WHERE ID >= 7")
            << false << false;
        QTest::newRow("many statements")
            << QStringLiteral("DO $$ DECLARE k bigint; BEGIN FOR k IN SELECT RecordPtr FROM "
                              "Documents WHERE ID >= 7 "
                              "LOOP UPDATE Documents SET Description = 'Doc fresh' WHERE RecordPtr "
                              "= k; END LOOP; "
                              "END $$")
            << false << false;
        QTest::newRow("while the connection was lost")
            << QStringLiteral("UPDATE Documents SET Description = 'Doc fresh' WHERE ID = 7") << true
            << false;
    }
    void indexFollowsOtherWrites()
    {
        QFETCH(QString, sql);
        QFETCH(bool, loseConnection);
        QFETCH(bool, rowByRow);
        TestFolder folder;
        auto db = seeded(1100);
        QVERIFY(db);
        DocumentIndexService index(*db);
        index.start();
        index.waitUntilReady();
        DocumentQuery query;
        query.filterOn = true;
        query.description = QStringLiteral("FRESH");
        std::vector<qint64> keys;
        QVERIFY(index.select(query, keys));
        QVERIFY(keys.empty());

        const QString location = testLocation(*db);
        if (loseConnection) // as a server restart would
            QVERIFY(TestServer::instance().admin(
                {QStringLiteral("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity "
                                "WHERE datname = ? AND pid <> pg_backend_pid()"),
                 {location.section(QLatin1Char('='), 1)}}));
        otherProcessRuns(location, sql);
        if (loseConnection) // the next command connects again
            QVERIFY(db->query({QStringLiteral("SELECT 1"), {}}));
        QSignalSpy heard(&index, &DocumentIndexService::changedElsewhere);
        QSignalSpy reloaded(&index, &DocumentIndexService::ready);
        OtherWritersWatch watch(*db, {});
        QTRY_VERIFY_WITH_TIMEOUT(!heard.isEmpty(), 3000);
        index.waitUntilReady();
        QCOMPARE(reloaded.count(), rowByRow ? 0 : 1);
        keys.clear();
        QVERIFY(index.select(query, keys));
        QVERIFY(!keys.empty());
        auto rows = db->query({QStringLiteral("SELECT RecordPtr FROM Documents WHERE Description = "
                                              "'Doc fresh' ORDER BY ID DESC"),
                               {}});
        QVERIFY(rows);
        QCOMPARE(keys.size(), rows->size());
        QCOMPARE(keys.front(), rows->front().values.value(0).toLongLong());
    }
};

QSK_TEST_MAIN_EVERY_ENGINE_WITH(QApplication, tst_LiveChanges)
#include "tst_livechanges.moc"

// Where the program's read-only files are found: the current folder, beside the program,
// then the installed share folder.
#include "support/TestSupport.h"

#include "store/DataFiles.h"

using namespace qs;
using namespace qs::test;

class tst_DataFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstFolderThatHasTheFileWins_data()
    {
        QTest::addColumn<QStringList>("holders"); // folders, relative to the test folder
        QTest::addColumn<QString>("found");
        QTest::newRow("current folder first") << QStringList{".", "bin", "share/quillstack"} << ".";
        QTest::newRow("then beside the program") << QStringList{"bin", "share/quillstack"} << "bin";
        QTest::newRow("then the installed share folder")
            << QStringList{"share/quillstack"} << "share/quillstack";
        QTest::newRow("nowhere") << QStringList{"share"} << "";
    }
    void firstFolderThatHasTheFileWins()
    {
        QFETCH(QStringList, holders);
        QFETCH(QString, found);
        TestFolder folder(false);
        QDir().mkpath("bin");
        for (const QString &holder : holders) {
            QDir().mkpath(holder);
            QFile f(QDir(holder).filePath("Qsk.Hlp"));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        // A folder of that name is found too, so that its reader can say what is wrong.
        QDir().mkpath("share/quillstack/QskDef.MDB");
        const QString programDir = folder.file("bin");
        QCOMPARE(findDataFile("Qsk.Hlp", programDir),
                 found.isEmpty() ? QString() : QDir::cleanPath(folder.file(found + "/Qsk.Hlp")));
        QCOMPARE(findDataFile("QskDef.MDB", programDir),
                 QDir::cleanPath(folder.file("share/quillstack/QskDef.MDB")));
    }
};

QTEST_GUILESS_MAIN(tst_DataFiles)
#include "tst_datafiles.moc"

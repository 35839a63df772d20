// Import into the database; how single fields are read is tst_dbfreader's part.
#include "DbfWriter.h"
#include "import/ImportBench.h"
#include "import/modConvert.h"
#include "support/TestSupport.h"

#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(qs::test::DbfRow)

using namespace qs;
using namespace qs::test;

namespace {

DbfRow row(const QByteArray &id, const QByteArray &type = {}, const QByteArray &memoBlock = {})
{
    DbfRow r;
    r.id = id;
    r.description = "Document " + id;
    r.type = type;
    r.memoBlock = memoBlock;
    return r;
}

QList<qint64> numbers(const Rows &rows, int column = 0)
{
    QList<qint64> list;
    for (const Row &r : rows)
        list.append(r.values.at(column).toLongLong());
    return list;
}

} // namespace

class tst_Convert : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<Database> m_db;

    QString table() const { return m_folder->file(QStringLiteral("Document.DBF")); }
    QString memo() const { return m_folder->file(QStringLiteral("Document.DBT")); }

    Result<ImportReport> convert(const QByteArray &tableBytes, const std::optional<QByteArray> &memoBytes = {}, const ImportProgress &progress = {})
    {
        if (!writeFile(table(), tableBytes) || (memoBytes && !writeFile(memo(), *memoBytes)))
            qFatal("cannot write the test files");
        return ConvertDbfDatabase(*m_db, table(), memo(), progress);
    }

    Rows rows(const QString &sql)
    {
        auto result = m_db->query({sql, {}});
        if (!result)
            qFatal("query failed: %s", qPrintable(result.error()));
        return result.value();
    }
    QList<qint64> documentTypes() { return numbers(rows("SELECT DocumentType FROM Documents ORDER BY RecordPtr")); }
    size_t count(const QString &name) { return rows("SELECT * FROM " + name).size(); }

private slots:
    void init()
    {
        m_folder = std::make_unique<TestFolder>();
        m_db = makeDatabase(m_folder->file(QStringLiteral("test.db")));
        QVERIFY(m_db);
    }

    void cleanup()
    {
        m_db.reset();
        m_folder.reset();
    }

    void rowsKeepFileOrder()
    {
        DbfRow deleted = row("7");
        deleted.mark = '*';
        const auto report = convert(dbfTable({row("30"), deleted, row("10"), row("20")}));
        QVERIFY2(report.ok(), qPrintable(report.error()));
        QCOMPARE(report.value().imported, 3);
        QCOMPARE(report.value().deleted, 1);
        QVERIFY(report.value().problems.isEmpty());
        const Rows stored = rows(QStringLiteral("SELECT ID, RecordPtr FROM Documents ORDER BY RecordPtr"));
        QCOMPARE(numbers(stored), (QList<qint64>{30, 10, 20}));
        QVERIFY(numbers(stored, 1).first() > 0);
    }

    // Each legacy field lands in its column, as stored in the database.
    void storedValue_data()
    {
        QTest::addColumn<DbfRow>("legacy");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<int>("languageDriver");
        DbfRow r = row("1");
        r.description = "  Lease contract   ";
        QTest::newRow("description: trailing blanks go, leading stay") << r << "Description" << QVariant(QStringLiteral("  Lease contract")) << 0;
        r.who = " Ren\xe9 M\xfcller ";
        QTest::newRow("who: accented letters") << r << "Who" << QVariant(QStringLiteral(" René Müller")) << 0;
        QTest::newRow("ID from padded text") << row("  42  ") << "ID" << QVariant(42) << 0;
        QTest::newRow("blank date is empty") << r << "Date" << QVariant() << 0;
        r.date = "19991231";
        QTest::newRow("date 19991231") << r << "Date" << QVariant(QDate(1999, 12, 31)) << 0;
        r.dateAdded = "20000229";
        QTest::newRow("date added") << r << "DateAdded" << QVariant(QDate(2000, 2, 29)) << 0;
        QTest::newRow("memo block 0: empty note") << row("1", {}, "0") << "Note" << QVariant(QString("")) << 0;
        QTest::newRow("length byte 20: twelve characters") << row("1", {}, "1") << "Note" << QVariant(QStringLiteral("ABCDEFGHIJKL")) << 0;
        QTest::newRow("longest note") << row("1", {}, "2") << "Note" << QVariant(QString(247, u'n')) << 0;
        DbfRow dos = row("1");
        dos.who = "Fran\x87oise \x99";
        QTest::newRow("DOS 850 text") << dos << "Who" << QVariant(QStringLiteral("Françoise Ö")) << 0x02;
        dos.description = "\xcf\xe8\xf1\xfc\xec\xee";
        QTest::newRow("Windows 1251 text") << dos << "Description" << QVariant(QStringLiteral("Письмо")) << 0xC9;
    }

    void storedValue()
    {
        QFETCH(DbfRow, legacy);
        QFETCH(QString, field);
        QFETCH(QVariant, expected);
        QFETCH(int, languageDriver);
        DbfShape shape;
        shape.languageDriver = quint8(languageDriver);
        const auto report = convert(dbfTable({legacy}, {}, shape), dbtMemo({dbtBlock(20, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"), dbtBlock(255, QByteArray(1016, 'n'))}));
        QVERIFY2(report.ok(), qPrintable(report.error()));
        const Rows all = rows(QStringLiteral("SELECT * FROM Documents"));
        QCOMPARE(all.size(), size_t(1));
        const QVariant stored = all.front().value(field);
        QCOMPARE(stored.isNull(), expected.isNull());
        if (!expected.isNull())
            QCOMPARE(stored, expected);
    }

    void typesShared_data()
    {
        QTest::addColumn<QByteArrayList>("typeFields");
        QTest::addColumn<QStringList>("types");    // the Types rows, in the order added
        QTest::addColumn<QList<int>>("typeOfRow"); // 0: none, n: the n-th of `types`
        QTest::newRow("blank type gives 0 and adds none") << QByteArrayList{"", "          "} << QStringList{} << QList<int>{0, 0};
        QTest::newRow("trailing blanks and case do not count") << QByteArrayList{"Letter", "LETTER    ", "letter  ", "Memo"} << QStringList{"Letter", "Memo"} << QList<int>{1, 1, 1, 2};
        QTest::newRow("the first row's spelling is kept") << QByteArrayList{"iNVOICE", "Invoice"} << QStringList{"iNVOICE"} << QList<int>{1, 1};
        QTest::newRow("leading blanks count") << QByteArrayList{"  Bill", "Bill"} << QStringList{"  Bill", "Bill"} << QList<int>{1, 2};
        QTest::newRow("single quote like any other") << QByteArrayList{"O'Neil", "o'neil", "'; DROP"} << QStringList{"O'Neil", "'; DROP"} << QList<int>{1, 1, 2};
        QTest::newRow("only ASCII letters fold") << QByteArrayList{"\xc9tat", "\xe9TAT", "\xc9TAT"} << QStringList{"État", "éTAT"} << QList<int>{1, 2, 1};
        QTest::newRow("sharp s is not SS") << QByteArrayList{"Ma\xdf", "MASS", "mass"} << QStringList{"Maß", "MASS"} << QList<int>{1, 2, 2};
    }

    void typesShared()
    {
        QFETCH(QByteArrayList, typeFields);
        QFETCH(QList<int>, typeOfRow);
        QList<DbfRow> legacy;
        for (const QByteArray &type : typeFields)
            legacy.append(row(QByteArray::number(legacy.size() + 1), type));
        const auto report = convert(dbfTable(legacy));
        QVERIFY2(report.ok(), qPrintable(report.error()));
        QVERIFY(report.value().problems.isEmpty());

        const Rows typeRows = rows(QStringLiteral("SELECT Type, RecordPtr FROM Types ORDER BY RecordPtr"));
        QStringList names;
        for (const Row &r : typeRows)
            names.append(r.values.at(0).toString());
        QTEST(names, "types");
        QList<qint64> expected;
        for (int n : typeOfRow)
            expected.append(n == 0 ? 0 : numbers(typeRows, 1).at(n - 1));
        QCOMPARE(documentTypes(), expected);
    }

    void knownTypeReused()
    {
        const qint16 letter = addType(*m_db, QStringLiteral("Letter  "));
        QVERIFY(letter > 0);
        QVERIFY(convert(dbfTable({row("1", "LETTER"), row("2", "Deed")})).ok());
        QCOMPARE(documentTypes().first(), qint64(letter));
        QCOMPARE(count("Types"), size_t(2));
    }

    void typeKeysStayInRange()
    {
        // The next type gets key 32767, the one after that would be beyond 16 bits.
        QVERIFY(m_db->exec({QStringLiteral("INSERT INTO Types (RecordPtr, Type) VALUES (?, ?)"), {32766, QStringLiteral("Old")}}));
        DbfRow badDate = row("3", "Third");
        badDate.date = "1999XX31";
        const auto report = convert(dbfTable({row("1", "Last"), row("2", "Second"), badDate, row("4", "second")}));
        QVERIFY2(report.ok(), qPrintable(report.error()));
        QCOMPARE(documentTypes(), (QList<qint64>{32767, 0, 0, 0}));
        QCOMPARE(numbers(rows(QStringLiteral("SELECT RecordPtr FROM Types ORDER BY RecordPtr"))), (QList<qint64>{32766, 32767}));
        const QString full = QStringLiteral("type \"%1\" cannot be added, because type keys cannot go beyond 32767; imported without a type");
        QCOMPARE(report.value().problems,
                 (QList<DbfProblem>{{2, "Type", full.arg("Second")},
                                    {3, "Date", QStringLiteral("\"1999XX31\" is not a date; imported empty")},
                                    {3, "Type", full.arg("Third")},
                                    {4, "Type", full.arg("second")}}));
    }

    void shortTableAndMissingMemo()
    {
        const auto report = convert(dbfTable({row("1", {}, "1"), row("2"), row("3", {}, "2")}, 5));
        QVERIFY2(report.ok(), qPrintable(report.error()));
        QCOMPARE(report.value().imported, 3);
        QCOMPARE(numbers(rows(QStringLiteral("SELECT ID FROM Documents WHERE Note = '' ORDER BY RecordPtr"))), (QList<qint64>{1, 2, 3}));
        const QList<DbfProblem> &problems = report.value().problems;
        QCOMPARE(problems.size(), 3);
        QCOMPARE(problems.at(0).row, 1);
        QCOMPARE(problems.at(0).field, QStringLiteral("Note"));
        QVERIFY(problems.at(0).what.contains(QStringLiteral("is missing")));
        QCOMPARE(problems.at(1).row, 3);
        QCOMPARE(problems.at(2).row, 4);
        QVERIFY(problems.at(2).what.contains(QStringLiteral("header states 5 rows")));
    }

    void unreadableTableFails()
    {
        for (const bool present : {false, true}) {
            if (present)
                QVERIFY(writeFile(table(), QByteArray(100, ' ')));
            const auto report = ConvertDbfDatabase(*m_db, table(), memo());
            QVERIFY(!report.ok());
            const QString reason = present ? "not a dBASE III or IV table (its first byte is 0x20)" : "No such file";
            QVERIFY2(report.error().contains("Document.DBF") && report.error().contains(reason), qPrintable(report.error()));
            QCOMPARE(count("Documents"), size_t(0));
        }
    }

    void refusalLeavesNothing()
    {
        QVERIFY(m_db->exec({QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Documents WHEN NEW.ID = 3 BEGIN SELECT RAISE(ABORT, 'no three'); END"), {}}));
        const auto report = convert(dbfTable({row("1", "Kept?"), row("2"), row("3"), row("4")}));
        QVERIFY(!report.ok());
        QCOMPARE(report.error(), QStringLiteral("The legacy table \"%1\" could not be imported at row 3: no three").arg(QDir::toNativeSeparators(table())));
        QCOMPARE(count("Documents"), size_t(0));
        QCOMPARE(count("Types"), size_t(0));
    }

    void progressFollowsTheRows()
    {
        QList<DbfRow> legacy;
        for (int i = 1; i <= 3000; ++i)
            legacy.append(row(QByteArray::number(i)));
        legacy[5].mark = '*';
        QList<std::pair<int, int>> calls;
        const auto report = convert(dbfTable(legacy), {}, [&](int done, int count) { calls.append({done, count}); });
        QVERIFY2(report.ok(), qPrintable(report.error()));
        QVERIFY(calls.size() >= 3);
        QCOMPARE(calls.first(), std::make_pair(0, 3000));
        QCOMPARE(calls.last(), std::make_pair(3000, 3000));
        for (qsizetype i = 1; i < calls.size(); ++i) {
            QVERIFY(calls.at(i).first > calls.at(i - 1).first);
            QCOMPARE(calls.at(i).second, 3000);
        }
    }

    void findLegacyFile_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("found");
        QTest::addColumn<QString>("ambiguous"); // the names a failure lists
        QTest::newRow("exact name") << QStringList{"Document.DBF"} << "Document.DBF" << QString();
        QTest::newRow("capitals") << QStringList{"DOCUMENT.DBF"} << "DOCUMENT.DBF" << QString();
        QTest::newRow("small letters") << QStringList{"document.dbf"} << "document.dbf" << QString();
        QTest::newRow("exact name wins") << QStringList{"DOCUMENT.DBF", "Document.DBF", "document.dbf"} << "Document.DBF" << QString();
        QTest::newRow("two variants") << QStringList{"document.dbf", "DOCUMENT.DBF"} << QString() << "2 files whose names differ from \"Document.DBF\" only in letter case: \"DOCUMENT.DBF\", \"document.dbf\".";
        QTest::newRow("a folder counts") << QStringList{"DOCUMENT.DBF", "document.dbf/"} << QString() << "\"DOCUMENT.DBF\", \"document.dbf\"";
        QTest::newRow("absent") << QStringList{"Document.DBT"} << QString() << QString();
    }

    void findLegacyFile()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, found);
        QFETCH(QString, ambiguous);
        QTemporaryDir dir;
        for (const QString &name : present)
            QVERIFY(name.endsWith(u'/') ? QDir(dir.path()).mkdir(name.chopped(1)) : writeFile(dir.filePath(name), "x"));
        const Result<QString> result = fnFindLegacyFile(dir.path(), QStringLiteral("Document.DBF"));
        QCOMPARE(result.ok(), ambiguous.isEmpty());
        if (result)
            QCOMPARE(*result, found.isEmpty() ? QString() : dir.filePath(found));
        else
            QVERIFY2(result.error().contains(ambiguous), qPrintable(result.error()));
    }

    void benchImportsEveryRow()
    {
        const auto result = fnBenchLegacyImport(2500, templatePath());
        QVERIFY2(result.ok(), qPrintable(result.error()));
        QCOMPARE(result.value().rows, 2500);
        QVERIFY(result.value().rowsPerSecond > 0);
    }
};

QTEST_GUILESS_MAIN(tst_Convert)
#include "tst_convert.moc"

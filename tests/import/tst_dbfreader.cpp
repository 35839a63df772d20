#include "DbfWriter.h"
#include "import/DbfReader.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace qs;
using namespace qs::test;

namespace {

struct ReadResult
{
    bool opened = false;
    QString error;
    QList<LegacyDocument> documents;
    QList<DbfProblem> problems;
    int imported = 0;
    int deleted = 0;
};

DbfRow row(const QByteArray &id, const QByteArray &memoBlock = {})
{
    DbfRow r;
    r.id = id;
    r.description = "Document " + id;
    r.memoBlock = memoBlock;
    return r;
}

QList<qint32> idsOf(const QList<LegacyDocument> &documents)
{
    QList<qint32> ids;
    for (const LegacyDocument &d : documents)
        ids.append(d.id);
    return ids;
}

} // namespace

class tst_DbfReader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString tablePath() const { return m_dir.filePath(QStringLiteral("Document.DBF")); }
    QString memoPath() const { return m_dir.filePath(QStringLiteral("Document.DBT")); }

    ReadResult readFiles()
    {
        ReadResult result;
        DbfReader reader(tablePath(), memoPath());
        result.opened = reader.open();
        result.error = reader.errorString();
        while (std::optional<LegacyDocument> doc = reader.next())
            result.documents.append(*doc);
        result.problems = reader.problems();
        result.imported = reader.importedCount();
        result.deleted = reader.deletedCount();
        return result;
    }

    ReadResult read(const QByteArray &table, const std::optional<QByteArray> &memo = {})
    {
        if (!writeFile(tablePath(), table))
            qFatal("cannot write the test table");
        if (memo && !writeFile(memoPath(), *memo))
            qFatal("cannot write the test memo file");
        return readFiles();
    }

    // A one-row table whose single document is returned, with the problems of the read.
    LegacyDocument readOne(const DbfRow &r, const std::optional<QByteArray> &memo,
                           QList<DbfProblem> *problems = nullptr)
    {
        const ReadResult result = read(dbfTable({r}), memo);
        if (problems)
            *problems = result.problems;
        if (result.documents.size() != 1)
            qFatal("expected one document");
        return result.documents.first();
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void deletedRowsSkippedAndFileOrderKept()
    {
        DbfRow deleted1 = row("2");
        deleted1.mark = '*';
        DbfRow deleted2 = row("40");
        deleted2.mark = '*';
        DbfRow otherMark = row("5");
        otherMark.mark = 'x';
        const ReadResult result =
            read(dbfTable({row("30"), deleted1, row("10"), deleted2, otherMark}));

        QVERIFY(result.opened);
        QCOMPARE(idsOf(result.documents), (QList<qint32>{30, 10, 5}));
        QCOMPARE(result.documents.at(1).rowNumber, 3);
        QCOMPARE(result.documents.at(2).rowNumber, 5);
        QCOMPARE(result.imported, 3);
        QCOMPARE(result.deleted, 2);
        QVERIFY(result.problems.isEmpty());
    }

    void progressCountsDeletedRowsToo()
    {
        DbfRow deleted = row("2");
        deleted.mark = '*';
        writeFile(tablePath(), dbfTable({row("1"), deleted, row("3")}));
        DbfReader reader(tablePath(), memoPath());
        QVERIFY(reader.open());
        QCOMPARE(reader.rowCount(), 3);
        QCOMPARE(reader.rowsDone(), 0);
        QVERIFY(reader.next());
        QCOMPARE(reader.rowsDone(), 1);
        QVERIFY(reader.next());
        QCOMPARE(reader.rowsDone(), 3);
        QVERIFY(!reader.next());
        QVERIFY(!reader.failed());
    }

    void rowsBeyondTheHeaderCountIgnored()
    {
        QByteArray table = dbfTable({row("1"), row("2"), row("3")}, 2);
        table += '\x1a';
        const ReadResult result = read(table);
        QCOMPARE(idsOf(result.documents), (QList<qint32>{1, 2}));
        QVERIFY(result.problems.isEmpty());
    }

    void numericValue_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("padded") << QByteArray("   123") << 123.0;
        QTest::newRow("blanks inside") << QByteArray("1 2 3 ") << 123.0;
        QTest::newRow("tab and line feed") << QByteArray("\t4\n5") << 45.0;
        QTest::newRow("negative") << QByteArray(" -17") << -17.0;
        QTest::newRow("plus") << QByteArray("+8") << 8.0;
        QTest::newRow("fraction") << QByteArray("2.5") << 2.5;
        QTest::newRow("leading point") << QByteArray(".5") << 0.5;
        QTest::newRow("second point stops") << QByteArray("1.2.3") << 1.2;
        QTest::newRow("letters stop") << QByteArray("12ab3") << 12.0;
        QTest::newRow("exponent") << QByteArray("1E3") << 1000.0;
        QTest::newRow("exponent with D") << QByteArray("2d2") << 200.0;
        QTest::newRow("exponent without digits") << QByteArray("7E") << 7.0;
        QTest::newRow("no number") << QByteArray("abc") << 0.0;
        QTest::newRow("sign only") << QByteArray("-") << 0.0;
        QTest::newRow("blank") << QByteArray("      ") << 0.0;
        QTest::newRow("empty") << QByteArray() << 0.0;
    }

    void numericValue()
    {
        QFETCH(QByteArray, text);
        QFETCH(double, value);
        QCOMPARE(fnNumericValue(text), value);
    }

    void documentNumber_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<qint32>("id");
        QTest::addColumn<QString>("problem");
        QTest::newRow("plain") << QByteArray("   417") << 417 << QString();
        QTest::newRow("half to even, down") << QByteArray("  2.5") << 2 << QString();
        QTest::newRow("half to even, up") << QByteArray("  3.5") << 4 << QString();
        QTest::newRow("blank") << QByteArray() << 0 << QString();
        QTest::newRow("no number") << QByteArray("n/a") << 0 << QString();
        QTest::newRow("out of range")
            << QByteArray("9E99") << 0
            << QStringLiteral("Row 1, ID: \"9E99  \" is out of range; imported as 0");
    }

    void documentNumber()
    {
        QFETCH(QByteArray, field);
        QFETCH(qint32, id);
        QFETCH(QString, problem);
        QList<DbfProblem> problems;
        DbfRow r = row(field);
        QCOMPARE(readOne(r, {}, &problems).id, id);
        if (problem.isEmpty()) {
            QVERIFY(problems.isEmpty());
        } else {
            QCOMPARE(problems.size(), 1);
            const DbfProblem &p = problems.first();
            QCOMPARE(QStringLiteral("Row %1, %2: %3").arg(p.row).arg(p.field, p.what), problem);
        }
    }

    void readDbfDate_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QDate>("date"); // invalid: no date
        QTest::newRow("blank") << QByteArray("        ") << true << QDate();
        QTest::newRow("last day of 1999") << QByteArray("19991231") << true << QDate(1999, 12, 31);
        QTest::newRow("leap day") << QByteArray("20000229") << true << QDate(2000, 2, 29);
        QTest::newRow("no leap day") << QByteArray("19000229") << false << QDate();
        QTest::newRow("month 13") << QByteArray("19991301") << false << QDate();
        QTest::newRow("day 0") << QByteArray("19990100") << false << QDate();
        QTest::newRow("year 0") << QByteArray("00000101") << false << QDate();
        QTest::newRow("blank inside") << QByteArray("1999 231") << false << QDate();
        QTest::newRow("year only") << QByteArray("1999    ") << false << QDate();
        QTest::newRow("zero bytes") << QByteArray(8, '\0') << false << QDate();
        QTest::newRow("too short") << QByteArray("1999123") << false << QDate();
    }

    void readDbfDate()
    {
        QFETCH(QByteArray, field);
        QFETCH(bool, ok);
        QFETCH(QDate, date);
        bool valid = !ok;
        const std::optional<QDate> result = ReadDbfDate(field, &valid);
        QCOMPARE(valid, ok);
        QCOMPARE(result.has_value(), date.isValid());
        if (result)
            QCOMPARE(*result, date);
    }

    void dateFields_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("problemField");
        QTest::newRow("Date") << 0 << QByteArray("19991231") << QDate(1999, 12, 31) << QString();
        QTest::newRow("DateAdded") << 1 << QByteArray("20240101") << QDate(2024, 1, 1) << QString();
        QTest::newRow("DateChanged blank") << 2 << QByteArray() << QDate() << QString();
        QTest::newRow("bad Date") << 0 << QByteArray("19991340") << QDate() << "Date";
        QTest::newRow("bad DateAdded") << 1 << QByteArray("2024 1 1") << QDate() << "DateAdded";
        QTest::newRow("bad DateChanged") << 2 << QByteArray("ABCDEFGH") << QDate() << "DateChanged";
    }

    void dateFields()
    {
        QFETCH(int, which);
        QFETCH(QByteArray, field);
        QFETCH(QDate, date);
        QFETCH(QString, problemField);

        DbfRow r = row("1");
        QByteArray *fields[] = {&r.date, &r.dateAdded, &r.dateChanged};
        *fields[which] = field;
        QList<DbfProblem> problems;
        const LegacyDocument doc = readOne(r, {}, &problems);

        const std::optional<QDate> results[] = {doc.date, doc.dateAdded, doc.dateChanged};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(results[i].has_value(), i == which && date.isValid());
        if (date.isValid())
            QCOMPARE(*results[which], date);
        if (problemField.isEmpty()) {
            QVERIFY(problems.isEmpty());
        } else {
            QCOMPARE(problems.size(), 1);
            QCOMPARE(problems.first(),
                     (DbfProblem{1, problemField,
                                 QStringLiteral("\"%1\" is not a date; imported empty")
                                     .arg(QString::fromLatin1(field))}));
        }
    }

    void note_data()
    {
        QTest::addColumn<QByteArray>("memo");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("problem"); // without the row and field

        const QByteArray alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        QByteArray longText;
        for (int i = 0; i < 1016; ++i)
            longText += char('a' + i % 26);
        const QByteArray twoBlocks = dbtMemo({dbtBlock(20, alphabet), dbtBlock(11, "second")});

        QTest::newRow("block 0") << twoBlocks << QByteArray("0") << QString() << QString();
        QTest::newRow("blank block") << twoBlocks << QByteArray() << QString() << QString();
        QTest::newRow("length byte 8")
            << dbtMemo({dbtBlock(8, alphabet)}) << QByteArray("1") << QString() << QString();
        QTest::newRow("length byte 20")
            << twoBlocks << QByteArray("1") << QStringLiteral("ABCDEFGHIJKL") << QString();
        QTest::newRow("longest note") << dbtMemo({dbtBlock(255, longText)}) << QByteArray("1")
                                      << QString::fromLatin1(longText.left(247)) << QString();
        QTest::newRow("blanks around")
            << dbtMemo({dbtBlock(8 + 10, "  two   xx")}) << QByteArray("1")
            << QStringLiteral("  two   xx") << QString();
        QTest::newRow("trailing blanks") << dbtMemo({dbtBlock(8 + 10, "  two     ")})
                                         << QByteArray("1") << QStringLiteral("  two") << QString();
        QTest::newRow("padded number") << twoBlocks << QByteArray("                   2")
                                       << QStringLiteral("sec") << QString();
        QTest::newRow("fraction rounds to even")
            << twoBlocks << QByteArray("2.5") << QStringLiteral("sec") << QString();
        QTest::newRow("length byte below 8")
            << dbtMemo({dbtBlock(7, alphabet)}) << QByteArray("1") << QString()
            << QStringLiteral("block 1: length byte 7 is below 8; imported empty");
        QTest::newRow("beyond the memo file")
            << twoBlocks << QByteArray("3") << QString()
            << QStringLiteral("block 3: the memo file ends before this block; imported empty");
        QTest::newRow("negative block")
            << twoBlocks << QByteArray("-1") << QString()
            << QStringLiteral("block -1: no such block; imported empty");
        QTest::newRow("huge block number")
            << twoBlocks << QByteArray("1E30") << QString()
            << QStringLiteral("block 1E30: the memo file ends before this block; imported empty");
        QTest::newRow("empty memo file")
            << QByteArray() << QByteArray("1") << QString()
            << QStringLiteral("block 1: the memo file ends before this block; imported empty");
        QTest::newRow("last block cut in its text")
            << dbtMemo({dbtBlock(20, alphabet).left(8 + 5)}) << QByteArray("1")
            << QStringLiteral("ABCDE")
            << QStringLiteral(
                   "block 1: the memo file ends inside this block; 5 of 12 characters imported");
        QTest::newRow("last block without length byte")
            << dbtMemo({QByteArray(3, 'x')}) << QByteArray("1") << QString()
            << QStringLiteral("block 1: the memo file ends inside this block; imported empty");
    }

    void note()
    {
        QFETCH(QByteArray, memo);
        QFETCH(QByteArray, block);
        QFETCH(QString, note);
        QFETCH(QString, problem);

        QList<DbfProblem> problems;
        const LegacyDocument doc = readOne(row("1", block), memo, &problems);
        QCOMPARE(doc.note, note);
        if (problem.isEmpty()) {
            QVERIFY(problems.isEmpty());
        } else {
            QCOMPARE(problems.size(), 1);
            QCOMPARE(problems.first(), (DbfProblem{1, QStringLiteral("Note"), problem}));
        }
    }

    void blockNumbersAboveSixteenBits()
    {
        // A large memo file holds blocks past 32767; their notes must not be lost.
        QFile memo(memoPath());
        QVERIFY(memo.open(QIODevice::WriteOnly));
        QVERIFY(memo.write(dbtMemo({})) == 1024);
        QVERIFY(memo.seek(qint64(40000) * 1024));
        QVERIFY(memo.write(dbtBlock(8 + 4, "far!")) == 1024);
        memo.close();

        QList<DbfProblem> problems;
        QCOMPARE(readOne(row("1", "40000"), {}, &problems).note, QStringLiteral("far!"));
        QVERIFY(problems.isEmpty());
    }

    void memoFileUnusable_data()
    {
        QTest::addColumn<bool>("asDirectory");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << false << QStringLiteral("is missing");
        QTest::newRow("unreadable") << true << QStringLiteral("cannot be read");
    }

    void memoFileUnusable()
    {
        QFETCH(bool, asDirectory);
        QFETCH(QString, reason);
        if (asDirectory)
            QVERIFY(QDir().mkpath(memoPath()));

        const ReadResult result = read(dbfTable({row("1", "1"), row("2", "0"), row("3", "7")}));
        QVERIFY(result.opened);
        QCOMPARE(idsOf(result.documents), (QList<qint32>{1, 2, 3}));
        for (const LegacyDocument &doc : result.documents)
            QVERIFY(doc.note.isEmpty());

        // Only the rows that name a block are reported.
        QCOMPARE(result.problems.size(), 2);
        const QString expected = QStringLiteral("block %1: the memo file \"%2\" %3")
                                     .arg(1)
                                     .arg(QDir::toNativeSeparators(memoPath()), reason);
        QCOMPARE(result.problems.at(0).row, 1);
        QCOMPARE(result.problems.at(0).field, QStringLiteral("Note"));
        QVERIFY2(result.problems.at(0).what.startsWith(expected),
                 qPrintable(result.problems.at(0).what));
        QCOMPARE(result.problems.at(1).row, 3);
    }

    void textFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("text");
        QTest::newRow("description trailing") << "Description" << QByteArray("Lease   ") << "Lease";
        QTest::newRow("description leading") << "Description" << QByteArray("  Lease") << "  Lease";
        QTest::newRow("description full width")
            << "Description" << QByteArray(40, 'd') << QString(40, u'd');
        QTest::newRow("description accented")
            << "Description" << QByteArray("Caf\xe9 \x80 5") << QStringLiteral("Café € 5");
        QTest::newRow("who") << "Who" << QByteArray(" M\xfcller  ") << QStringLiteral(" Müller");
        QTest::newRow("who tab kept") << "Who" << QByteArray("Tab\t") << QStringLiteral("Tab\t");
        QTest::newRow("type") << "Type" << QByteArray(" Letter  ") << QStringLiteral(" Letter");
        QTest::newRow("type blank") << "Type" << QByteArray() << QString();
        QTest::newRow("type with quote") << "Type" << QByteArray("O'Neil") << "O'Neil";
        QTest::newRow("type accented") << "Type" << QByteArray("R\xe9sum\xe9") << "Résumé";
    }

    void textFields()
    {
        QFETCH(QString, field);
        QFETCH(QByteArray, raw);
        QFETCH(QString, text);
        DbfRow r = row("1");
        if (field == u"Description")
            r.description = raw;
        else if (field == u"Who")
            r.who = raw;
        else
            r.type = raw;
        QList<DbfProblem> problems;
        const LegacyDocument doc = readOne(r, {}, &problems);
        const QString result = field == u"Description" ? doc.description
                               : field == u"Who"       ? doc.who
                                                       : doc.typeName;
        QCOMPARE(result, text);
        QVERIFY(problems.isEmpty());
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QByteArray("Abc 1") << QStringLiteral("Abc 1");
        QTest::newRow("e acute") << QByteArray("\xe9") << QStringLiteral("é");
        QTest::newRow("euro") << QByteArray("\x80") << QStringLiteral("€");
        QTest::newRow("quotes and dash")
            << QByteArray("\x93x\x94\x96") << QStringLiteral("\u201cx\u201d\u2013");
        QTest::newRow("y diaeresis high") << QByteArray("\x9f\xff") << QStringLiteral("Ÿÿ");
        QTest::newRow("undefined bytes keep C1")
            << QByteArray("\x81\x8d\x8f\x90\x9d")
            << QStringLiteral("\u0081\u008d\u008f\u0090\u009d");
        QTest::newRow("nbsp") << QByteArray("\xa0") << QStringLiteral("\u00a0");
    }

    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(fnDecodeLegacyText(bytes), text);
    }

    void accentedNote()
    {
        const QByteArray memo = dbtMemo({dbtBlock(8 + 6, "na\xefve\x80")});
        QCOMPARE(readOne(row("1", "1"), memo).note, QStringLiteral("naïve€"));
    }

    void truncatedTable_data()
    {
        QTest::addColumn<int>("headerCount");
        QTest::addColumn<int>("rowsPresent");
        QTest::addColumn<int>("extraBytes");
        QTest::addColumn<QString>("problem");
        const QString before = QStringLiteral(
            "the table file ends before this row, although its header states %1 rows");
        QTest::newRow("whole rows") << 5 << 3 << 0 << before.arg(5);
        QTest::newRow("cut inside a row")
            << 5 << 3 << 50
            << QStringLiteral("the table file ends inside this row (50 of 131 bytes), "
                              "although its header states 5 rows");
        QTest::newRow("no rows at all") << 2 << 0 << 0 << before.arg(2);
        QTest::newRow("past the first read-ahead") << 9000 << 5000 << 0 << before.arg(9000);
    }

    void truncatedTable()
    {
        QFETCH(int, headerCount);
        QFETCH(int, rowsPresent);
        QFETCH(int, extraBytes);
        QFETCH(QString, problem);

        QList<DbfRow> rows;
        for (int i = 1; i <= rowsPresent; ++i)
            rows.append(row(QByteArray::number(i)));
        QByteArray table = dbfTable(rows, headerCount);
        table += QByteArray(extraBytes, 'z');
        const ReadResult result = read(table);

        QVERIFY(result.opened);
        QCOMPARE(result.documents.size(), rowsPresent);
        if (rowsPresent > 0)
            QCOMPARE(result.documents.last().id, rowsPresent);
        QCOMPARE(result.problems, (QList<DbfProblem>{{rowsPresent + 1, QString(), problem}}));
    }

    void unreadableTable_data()
    {
        QTest::addColumn<int>("kind"); // -1 missing, -2 directory, otherwise file contents
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << -1 << QByteArray() << QString();
        QTest::newRow("directory") << -2 << QByteArray() << QString();
        QTest::newRow("empty") << 0 << QByteArray()
                               << "the file is too short for its header (0 of 321 bytes)";
        QTest::newRow("header cut") << 0 << dbfTable({}).left(320)
                                    << "the file is too short for its header (320 of 321 bytes)";
        QTest::newRow("negative count")
            << 0 << dbfTable({row("1")}, -1) << "its header states a negative number of rows (-1)";
    }

    void unreadableTable()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, contents);
        QFETCH(QString, reason);
        if (kind == -2)
            QVERIFY(QDir().mkpath(tablePath()));
        else if (kind == 0)
            QVERIFY(writeFile(tablePath(), contents));

        const ReadResult result = readFiles();
        QVERIFY(!result.opened);
        QVERIFY(result.documents.isEmpty());
        const QString prefix =
            QStringLiteral("Cannot read \"%1\": ").arg(QDir::toNativeSeparators(tablePath()));
        QVERIFY2(result.error.startsWith(prefix), qPrintable(result.error));
        QVERIFY(result.error.size() > prefix.size());
        if (!reason.isEmpty())
            QCOMPARE(result.error, prefix + reason);
    }

    void emptyTable()
    {
        const ReadResult result = read(dbfTable({}));
        QVERIFY(result.opened);
        QVERIFY(result.documents.isEmpty());
        QVERIFY(result.problems.isEmpty());
    }

    void legacyFilesUnchanged()
    {
        DbfRow deleted = row("2", "1");
        deleted.mark = '*';
        DbfRow bad = row("3", "9");
        bad.date = "19991340";
        const QByteArray table = dbfTable({row("1", "1"), deleted, bad, row("4", "2")}, 6);
        const QByteArray memo = dbtMemo({dbtBlock(20, "first note here"), dbtBlock(3, "")});
        QVERIFY(writeFile(tablePath(), table));
        QVERIFY(writeFile(memoPath(), memo));
        const QFile::Permissions readOnly =
            QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther;
        QVERIFY(QFile::setPermissions(tablePath(), readOnly));
        QVERIFY(QFile::setPermissions(memoPath(), readOnly));
        const QDateTime tableTime = QFileInfo(tablePath()).lastModified();
        const QDateTime memoTime = QFileInfo(memoPath()).lastModified();

        const ReadResult result = readFiles();
        QVERIFY(result.opened);
        QCOMPARE(result.documents.size(), 3);
        QVERIFY(!result.problems.isEmpty());

        QCOMPARE(readFile(tablePath()), table);
        QCOMPARE(readFile(memoPath()), memo);
        QCOMPARE(QFileInfo(tablePath()).lastModified(), tableTime);
        QCOMPARE(QFileInfo(memoPath()).lastModified(), memoTime);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"Document.DBF", "Document.DBT"}));
    }
};

QTEST_GUILESS_MAIN(tst_DbfReader)
#include "tst_dbfreader.moc"

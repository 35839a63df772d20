#include "DbfWriter.h"
#include "import/DbfReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <functional>

Q_DECLARE_METATYPE(qs::test::DbfShape)

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

DbfRow row(const QByteArray &id, const QByteArray &memoBlock = {}, char mark = ' ')
{
    DbfRow r;
    r.mark = mark;
    r.id = id;
    r.description = "Document " + id;
    r.memoBlock = memoBlock;
    return r;
}

// A named pipe, a device or a folder in place of a legacy file (0: none).
enum Special { NoSpecial, Folder, Pipe, Device };

bool makeSpecial(Special kind, const QString &path)
{
    switch (kind) {
    case NoSpecial:
        return true;
    case Folder:
        return QDir().mkpath(path);
    case Pipe:
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    case Device:
        return QFile::link(QStringLiteral("/dev/null"), path);
    }
    return false;
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
        if (!writeFile(tablePath(), table) || (memo && !writeFile(memoPath(), *memo)))
            qFatal("cannot write the test files");
        return readFiles();
    }

    // A one-row table whose single document is returned; `problem` is the read's only
    // problem as "Row r, Field: what", or empty when there was none.
    LegacyDocument readOne(const DbfRow &r, const std::optional<QByteArray> &memo, QString *problem)
    {
        const ReadResult result = read(dbfTable({r}), memo);
        if (result.documents.size() != 1 || result.problems.size() > 1)
            qFatal("expected one document and at most one problem");
        for (const DbfProblem &p : result.problems)
            *problem = QStringLiteral("Row %1, %2: %3").arg(p.row).arg(p.field, p.what);
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
        const ReadResult result = read(dbfTable({row("30"), row("2", {}, '*'), row("10"), row("40", {}, '*'), row("5", {}, 'x')}));
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
        writeFile(tablePath(), dbfTable({row("1"), row("2", {}, '*'), row("3")}));
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
        const ReadResult result = read(dbfTable({row("1"), row("2"), row("3")}, 2) + '\x1a');
        QCOMPARE(idsOf(result.documents), (QList<qint32>{1, 2}));
        QVERIFY(result.problems.isEmpty());
        QVERIFY(read(dbfTable({})).opened); // an empty table is fine
    }

    // What real files vary in and the import tolerates: the memo flags of the version byte,
    // the header's length (rows begin where it says), the letter case of field names.
    void otherHeadersRead_data()
    {
        QTest::addColumn<DbfShape>("shape");
        DbfShape shape;
        QTest::newRow("as the legacy program wrote it") << shape;
        shape.version = 0x83;
        QTest::newRow("dBASE III with memo") << shape;
        shape.version = 0x8B;
        QTest::newRow("dBASE IV with memo") << shape;
        shape.headerLength = 289;
        QTest::newRow("no padding after the descriptors") << shape;
        shape.headerLength = 288;
        QTest::newRow("no end mark") << shape;
        shape.headerLength = 584;
        QTest::newRow("long padding") << shape;
        shape.fields[1].name = "Descriptio";
        QTest::newRow("names in small letters") << shape;
    }

    void otherHeadersRead()
    {
        QFETCH(DbfShape, shape);
        const ReadResult result = read(dbfTable({row("7"), row("8", {}, '*'), row("9")}, {}, shape));
        QVERIFY2(result.opened, qPrintable(result.error));
        QCOMPARE(idsOf(result.documents), (QList<qint32>{7, 9}));
        QCOMPARE(result.documents.last().description, QStringLiteral("Document 9"));
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
        QTest::newRow("leading point") << QByteArray(".5") << 0.5;
        QTest::newRow("second point stops") << QByteArray("1.2.3") << 1.2;
        QTest::newRow("letters stop") << QByteArray("12ab3") << 12.0;
        QTest::newRow("exponent") << QByteArray("1E3") << 1000.0;
        QTest::newRow("exponent with D") << QByteArray("2d2") << 200.0;
        QTest::newRow("exponent without digits") << QByteArray("7E") << 7.0;
        QTest::newRow("no number") << QByteArray("abc") << 0.0;
        QTest::newRow("sign only") << QByteArray("-") << 0.0;
        QTest::newRow("empty") << QByteArray() << 0.0;
    }

    void numericValue()
    {
        QFETCH(QByteArray, text);
        QTEST(fnNumericValue(text), "value");
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
        QTest::newRow("out of range") << QByteArray("9E99") << 0 << "Row 1, ID: \"9E99  \" is out of range; imported as 0";
    }

    void documentNumber()
    {
        QFETCH(QByteArray, field);
        QString problem;
        QTEST(readOne(row(field), {}, &problem).id, "id");
        QTEST(problem, "problem");
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
        bool valid = !ok;
        const std::optional<QDate> result = ReadDbfDate(field, &valid);
        QCOMPARE(valid, ok);
        QTEST(result.value_or(QDate()), "date");
        QCOMPARE(result.has_value(), result.value_or(QDate()).isValid());
    }

    // Each date field is read into its own place; a bad one is reported by its name.
    void dateFields_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("problem");
        QTest::newRow("Date") << 0 << QByteArray("19991231") << QDate(1999, 12, 31) << QString();
        QTest::newRow("DateAdded") << 1 << QByteArray("20240101") << QDate(2024, 1, 1) << QString();
        QTest::newRow("DateChanged blank") << 2 << QByteArray() << QDate() << QString();
        QTest::newRow("bad Date") << 0 << QByteArray("19991340") << QDate() << "Row 1, Date: \"19991340\" is not a date; imported empty";
        QTest::newRow("bad DateAdded") << 1 << QByteArray("2024 1 1") << QDate() << "Row 1, DateAdded: \"2024 1 1\" is not a date; imported empty";
        QTest::newRow("bad DateChanged") << 2 << QByteArray("ABCDEFGH") << QDate() << "Row 1, DateChanged: \"ABCDEFGH\" is not a date; imported empty";
    }

    void dateFields()
    {
        QFETCH(int, which);
        QFETCH(QByteArray, field);
        QFETCH(QDate, date);
        DbfRow r = row("1");
        QByteArray *fields[] = {&r.date, &r.dateAdded, &r.dateChanged};
        *fields[which] = field;
        QString problem;
        const LegacyDocument doc = readOne(r, {}, &problem);
        const std::optional<QDate> results[] = {doc.date, doc.dateAdded, doc.dateChanged};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(results[i].value_or(QDate()), i == which ? date : QDate());
        QTEST(problem, "problem");
    }

    void note_data()
    {
        QTest::addColumn<QByteArray>("memo");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("problem"); // after "Row 1, Note: "

        const QByteArray alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        QByteArray longText;
        for (int i = 0; i < 1016; ++i)
            longText += char('a' + i % 26);
        const QByteArray two = dbtMemo({dbtBlock(20, alphabet), dbtBlock(11, "second")});
        const QString beyond = QStringLiteral("the memo file ends before this block; imported empty");

        QTest::newRow("block 0") << two << QByteArray("0") << QString() << QString();
        QTest::newRow("blank block") << two << QByteArray() << QString() << QString();
        QTest::newRow("length byte 8") << dbtMemo({dbtBlock(8, alphabet)}) << QByteArray("1") << QString() << QString();
        QTest::newRow("length byte 20") << two << QByteArray("1") << "ABCDEFGHIJKL" << QString();
        QTest::newRow("longest note") << dbtMemo({dbtBlock(255, longText)}) << QByteArray("1") << QString::fromLatin1(longText.left(247)) << QString();
        QTest::newRow("blanks inside kept") << dbtMemo({dbtBlock(8 + 10, "  two   xx")}) << QByteArray("1") << "  two   xx" << QString();
        QTest::newRow("trailing blanks") << dbtMemo({dbtBlock(8 + 10, "  two     ")}) << QByteArray("1") << "  two" << QString();
        QTest::newRow("accented") << dbtMemo({dbtBlock(8 + 6, "na\xefve\x80")}) << QByteArray("1") << "naïve€" << QString();
        QTest::newRow("padded number") << two << QByteArray("                   2") << "sec" << QString();
        QTest::newRow("fraction rounds to even") << two << QByteArray("2.5") << "sec" << QString();
        QTest::newRow("length byte below 8") << dbtMemo({dbtBlock(7, alphabet)}) << QByteArray("1") << QString() << "block 1: length byte 7 is below 8; imported empty";
        QTest::newRow("beyond the memo file") << two << QByteArray("3") << QString() << "block 3: " + beyond;
        QTest::newRow("negative block") << two << QByteArray("-1") << QString() << "block -1: no such block; imported empty";
        QTest::newRow("huge block number") << two << QByteArray("1E30") << QString() << "block 1E30: " + beyond;
        QTest::newRow("empty memo file") << QByteArray() << QByteArray("1") << QString() << "block 1: " + beyond;
        QTest::newRow("last block cut in its text") << dbtMemo({dbtBlock(20, alphabet).left(8 + 5)}) << QByteArray("1") << "ABCDE" << "block 1: the memo file ends inside this block; 5 of 12 characters imported";
        QTest::newRow("last block cut in its header") << dbtMemo({dbtBlock(20, alphabet).left(6)}) << QByteArray("1") << QString() << "block 1: the memo file ends inside this block; 0 of 12 characters imported";
        QTest::newRow("NUL after the text") << dbtMemo({dbtBlock(8 + 9, QByteArray("note\0\0 \0\0", 9))}) << QByteArray("1") << "note" << QString();
        QTest::newRow("NUL inside the text") << dbtMemo({dbtBlock(8 + 5, QByteArray("ab\0cd", 5))}) << QByteArray("1") << "abcd" << "block 1: the note holds NUL bytes; imported without them";
        QTest::newRow("last block without length byte") << dbtMemo({QByteArray(3, 'x')}) << QByteArray("1") << QString() << "block 1: the memo file ends inside this block; imported empty";
    }

    void note()
    {
        QFETCH(QByteArray, memo);
        QFETCH(QByteArray, block);
        QFETCH(QString, problem);
        QString found;
        QTEST(readOne(row("1", block), memo, &found).note, "note");
        QCOMPARE(found, problem.isEmpty() ? problem : "Row 1, Note: " + problem);
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
        QString problem;
        QCOMPARE(readOne(row("1", "40000"), {}, &problem).note, QStringLiteral("far!"));
        QVERIFY(problem.isEmpty());
    }

    void memoFileUnusable_data()
    {
        QTest::addColumn<int>("special");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << int(NoSpecial) << QStringLiteral("is missing");
        QTest::newRow("folder") << int(Folder) << QStringLiteral("cannot be read: it is a folder, not a file");
        QTest::newRow("named pipe") << int(Pipe) << QStringLiteral("cannot be read: it is a named pipe, not a file");
    }

    void memoFileUnusable()
    {
        QFETCH(int, special);
        QFETCH(QString, reason);
        QVERIFY(makeSpecial(Special(special), memoPath()));
        const ReadResult result = read(dbfTable({row("1", "1"), row("2", "0"), row("3", "7")}));
        QVERIFY(result.opened);
        QCOMPARE(idsOf(result.documents), (QList<qint32>{1, 2, 3}));
        for (const LegacyDocument &doc : result.documents)
            QVERIFY(doc.note.isEmpty());
        // Only the rows that name a block are reported.
        QCOMPARE(result.problems.size(), 2);
        const QString expected = QStringLiteral("block 1: the memo file \"%1\" %2").arg(QDir::toNativeSeparators(memoPath()), reason);
        QCOMPARE(result.problems.at(0).row, 1);
        QCOMPARE(result.problems.at(0).field, QStringLiteral("Note"));
        QCOMPARE(result.problems.at(0).what, expected + "; imported empty");
        QCOMPARE(result.problems.at(1).row, 3);
    }

    void textFields_data()
    {
        QTest::addColumn<int>("which"); // description, who, type
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("problem");
        QTest::newRow("description trailing") << 0 << QByteArray("Lease   ") << "Lease" << QString();
        QTest::newRow("description leading") << 0 << QByteArray("  Lease") << "  Lease" << QString();
        QTest::newRow("description full width") << 0 << QByteArray(40, 'd') << QString(40, u'd') << QString();
        QTest::newRow("description accented") << 0 << QByteArray("Caf\xe9 \x80 5") << "Café € 5" << QString();
        QTest::newRow("who") << 1 << QByteArray(" M\xfcller  ") << " Müller" << QString();
        QTest::newRow("who tab kept") << 1 << QByteArray("Tab\t") << "Tab\t" << QString();
        QTest::newRow("type") << 2 << QByteArray(" Letter  ") << " Letter" << QString();
        QTest::newRow("type blank") << 2 << QByteArray() << QString() << QString();
        QTest::newRow("NUL padding") << 0 << QByteArray("Lease\0\0 \0", 9) << "Lease" << QString();
        QTest::newRow("NUL-padded type") << 2 << QByteArray("Memo\0\0\0\0\0\0", 10) << "Memo" << QString();
        QTest::newRow("NUL inside") << 1 << QByteArray("Ann\0Lee", 7) << "AnnLee" << "Row 1, Who: \"Ann?Lee\" holds NUL bytes; imported without them";
    }

    void textFields()
    {
        QFETCH(int, which);
        QFETCH(QByteArray, raw);
        DbfRow r = row("1");
        QByteArray *fields[] = {&r.description, &r.who, &r.type};
        *fields[which] = raw;
        QString problem;
        const LegacyDocument doc = readOne(r, {}, &problem);
        QTEST((QStringList{doc.description, doc.who, doc.typeName}).at(which), "text");
        QTEST(problem, "problem");
    }

    void decode_data()
    {
        QTest::addColumn<int>("driver"); // the header's language-driver byte
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("codePage");
        QTest::newRow("ascii") << 0 << QByteArray("Abc 1") << QStringLiteral("Abc 1") << 1252;
        QTest::newRow("e acute") << 0 << QByteArray("\xe9") << QStringLiteral("é") << 1252;
        QTest::newRow("euro") << 0 << QByteArray("\x80") << QStringLiteral("€") << 1252;
        QTest::newRow("quotes and dash") << 0 << QByteArray("\x93x\x94\x96") << QStringLiteral("\u201cx\u201d\u2013") << 1252;
        QTest::newRow("y diaeresis high") << 0 << QByteArray("\x9f\xff") << QStringLiteral("Ÿÿ") << 1252;
        QTest::newRow("undefined bytes keep C1") << 0 << QByteArray("\x81\x8d\x8f\x90\x9d") << QStringLiteral("\u0081\u008d\u008f\u0090\u009d") << 1252;
        QTest::newRow("nbsp") << 0 << QByteArray("\xa0") << QStringLiteral("\u00a0") << 1252;
        QTest::newRow("DOS 437") << 0x01 << QByteArray("\x82\x94\xe1") << QStringLiteral("éöß") << 437;
        QTest::newRow("DOS 850") << 0x02 << QByteArray("\x9b\xb5") << QStringLiteral("øÁ") << 850;
        QTest::newRow("DOS 852") << 0x64 << QByteArray("\xa5\x9f\xe7") << QStringLiteral("ąčš") << 852;
        QTest::newRow("DOS 865") << 0x66 << QByteArray("\x9b\x9d\xa4") << QStringLiteral("øØñ") << 865;
        QTest::newRow("DOS 866") << 0x65 << QByteArray("\x80\xe0\xf0") << QStringLiteral("АрЁ") << 866;
        QTest::newRow("Windows 1250") << 0xC8 << QByteArray("\x8a\xb9\xe8") << QStringLiteral("Šąč") << 1250;
        QTest::newRow("Windows 1251") << 0xC9 << QByteArray("\xc0\xff") << QStringLiteral("Ая") << 1251;
        QTest::newRow("Windows 1252 named") << 0x03 << QByteArray("\x80\x8a") << QStringLiteral("€Š") << 1252;
        QTest::newRow("unknown driver") << 0x4D << QByteArray("\x80\xe9") << QStringLiteral("€é") << 1252;
    }

    void decode()
    {
        QFETCH(int, driver);
        QFETCH(QByteArray, bytes);
        const CodePage codePage = CodePage::forLanguageDriver(quint8(driver));
        QTEST(codePage.decode(bytes), "text");
        QTEST(codePage.number(), "codePage");
        if (driver == 0)
            QCOMPARE(fnDecodeLegacyText(bytes), codePage.decode(bytes));
    }

    // The report says which code page was used, and why.
    void codePageDescription_data()
    {
        QTest::addColumn<int>("driver");
        QTest::addColumn<QString>("description");
        QTest::newRow("named") << 0x64 << "Text was read in DOS code page 852 (language driver 0x64).";
        QTest::newRow("none") << 0 << "The table names no code page; text was read in Windows code page 1252.";
        QTest::newRow("unknown") << 0x4D << "The table's language driver 0x4D names no code page the import knows; text was read in Windows code page 1252.";
    }

    void codePageDescription()
    {
        QFETCH(int, driver);
        DbfShape shape;
        shape.languageDriver = quint8(driver);
        QVERIFY(writeFile(tablePath(), dbfTable({row("1")}, {}, shape)));
        DbfReader reader(tablePath(), memoPath());
        QVERIFY(reader.open());
        QTEST(reader.codePage().description(), "description");
    }

    void truncatedTable_data()
    {
        QTest::addColumn<int>("headerCount");
        QTest::addColumn<int>("rowsPresent");
        QTest::addColumn<int>("extraBytes");
        QTest::addColumn<QString>("problem");
        const QString before = QStringLiteral("the table file ends before this row, although its header states %1 rows");
        QTest::newRow("whole rows") << 5 << 3 << 0 << before.arg(5);
        QTest::newRow("cut inside a row") << 5 << 3 << 50 << "the table file ends inside this row (50 of 131 bytes), although its header states 5 rows";
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
        const ReadResult result = read(dbfTable(rows, headerCount) + QByteArray(extraBytes, 'z'));
        QVERIFY(result.opened);
        QCOMPARE(result.documents.size(), rowsPresent);
        if (rowsPresent > 0)
            QCOMPARE(result.documents.last().id, rowsPresent);
        QCOMPARE(result.problems, (QList<DbfProblem>{{rowsPresent + 1, QString(), problem}}));
    }

    void unreadableTable_data()
    {
        QTest::addColumn<int>("special"); // -1: missing
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("reason");
        const QString fields = QStringLiteral("its fields are not those of the document table: ");
        auto shaped = [](const std::function<void(DbfShape &)> &change) {
            DbfShape shape;
            change(shape);
            return dbfTable({row("1")}, {}, shape);
        };
        QTest::newRow("missing") << -1 << QByteArray() << QString();
        QTest::newRow("folder") << int(Folder) << QByteArray() << "it is a folder, not a file";
        QTest::newRow("named pipe") << int(Pipe) << QByteArray() << "it is a named pipe, not a file";
        QTest::newRow("device") << int(Device) << QByteArray() << "it is a device or another special file, not a regular file";
        QTest::newRow("empty") << 0 << QByteArray() << "the file is too short for its header (0 of 32 bytes)";
        QTest::newRow("header cut") << 0 << dbfTable({}).left(320) << "the file is too short for its header (320 of 321 bytes)";
        QTest::newRow("negative count") << 0 << dbfTable({row("1")}, -1) << "its header states a negative number of rows (-1)";
        QTest::newRow("not dBASE III or IV") << 0 << shaped([](DbfShape &s) { s.version = 0x30; }) << "it is not a dBASE III or IV table (its first byte is 0x30)";
        QTest::newRow("other name") << 0 << shaped([](DbfShape &s) { s.fields[1].name = "NAME"; }) << fields + "field 2 is \"NAME\" C(40), where the import reads \"DESCRIPTIO\" C(40)";
        QTest::newRow("other type") << 0 << shaped([](DbfShape &s) { s.fields[0].type = 'C'; }) << fields + "field 1 is \"ID\" C(6), where the import reads \"ID\" N(6)";
        QTest::newRow("other width") << 0 << shaped([](DbfShape &s) { s.fields[6].length = 25; s.recordLength = 126; }) << fields + "field 7 is \"WHO\" C(25), where the import reads \"WHO\" C(30)";
        QTest::newRow("other order") << 0 << shaped([](DbfShape &s) { s.fields.swapItemsAt(5, 6); }) << fields + "field 6 is \"WHO\" C(30), where the import reads \"TYPE\" C(10)";
        QTest::newRow("a field more") << 0 << shaped([](DbfShape &s) { s.fields.append({"KEPT", 'L', 1}); s.headerLength = 353; }) << fields + "it has 9 fields, where the import reads 8 (the first extra is \"KEPT\" L(1))";
        QTest::newRow("a field less") << 0 << shaped([](DbfShape &s) { s.fields.removeLast(); }) << fields + "it has 7 fields, where the import reads 8 (the first missing is \"NOTE\" M(20))";
        QTest::newRow("no fields") << 0 << shaped([](DbfShape &s) { s.headerLength = 32; }) << fields + "it has 0 fields, where the import reads 8 (the first missing is \"ID\" N(6))";
        QTest::newRow("header too short for the fields") << 0 << shaped([](DbfShape &s) { s.headerLength = 200; }) << fields + "it has 5 fields, where the import reads 8 (the first missing is \"TYPE\" C(10))";
        QTest::newRow("other row length") << 0 << shaped([](DbfShape &s) { s.recordLength = 140; }) << "its header states rows of 140 bytes, where the document table's rows have 131";
    }

    void unreadableTable()
    {
        QFETCH(int, special);
        QFETCH(QByteArray, contents);
        QFETCH(QString, reason);
        if (special == 0)
            QVERIFY(writeFile(tablePath(), contents));
        else if (special > 0)
            QVERIFY(makeSpecial(Special(special), tablePath()));
        const ReadResult result = readFiles();
        QVERIFY(!result.opened);
        QVERIFY(result.documents.isEmpty());
        const QString prefix = QStringLiteral("Cannot read \"%1\": ").arg(QDir::toNativeSeparators(tablePath()));
        QVERIFY2(result.error.startsWith(prefix) && result.error.size() > prefix.size(), qPrintable(result.error));
        if (!reason.isEmpty())
            QCOMPARE(result.error, prefix + reason);
    }
};

QTEST_GUILESS_MAIN(tst_DbfReader)
#include "tst_dbfreader.moc"

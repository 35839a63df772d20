#include "import/DbfReader.h"
#include "support/DbfWriter.h"

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

enum Field { Id, Description, Who, Type, Date, DateAdded, DateChanged, Note };

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

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void deletedRowsSkippedAndFileOrderKept()
    {
        const ReadResult result = read(dbfTable(
            {row("30"), row("2", {}, '*'), row("10"), row("40", {}, '*'), row("5", {}, 'x')}));
        QVERIFY(result.opened);
        QCOMPARE(idsOf(result.documents), (QList<qint32>{30, 10, 5}));
        QCOMPARE(result.documents.at(1).rowNumber, 3);
        QCOMPARE(result.documents.at(2).rowNumber, 5);
        QCOMPARE(result.imported, 3);
        QCOMPARE(result.deleted, 2);
        QVERIFY(result.problems.isEmpty());
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
        const ReadResult result =
            read(dbfTable({row("7"), row("8", {}, '*'), row("9")}, {}, shape));
        QVERIFY2(result.opened, qPrintable(result.error));
        QCOMPARE(idsOf(result.documents), (QList<qint32>{7, 9}));
        QCOMPARE(result.documents.last().description, QStringLiteral("Document 9"));
        QVERIFY(result.problems.isEmpty());
    }

    void numericValue_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("value");
        for (const auto &[text, value] : {std::pair{"1 2 3 ", 123.0},
                                          {"\t4\n5", 45.0},
                                          {" -17", -17.0},
                                          {"+8", 8.0},
                                          {".5", 0.5},
                                          {"1.2.3", 1.2},
                                          {"12ab3", 12.0},
                                          {"1E3", 1000.0},
                                          {"2d2", 200.0},
                                          {"7E", 7.0},
                                          {"abc", 0.0},
                                          {"", 0.0}})
            QTest::newRow(text) << QByteArray(text) << value;
    }

    void numericValue()
    {
        QFETCH(QByteArray, text);
        QTEST(fnNumericValue(text), "value");
    }

    void readDbfDate_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QDate>("date"); // invalid: no date
        QTest::addColumn<bool>("ok");
        QTest::newRow("blank") << QByteArray("        ") << QDate() << true;
        QTest::newRow("leap day") << QByteArray("20000229") << QDate(2000, 2, 29) << true;
        for (const char *bad :
             {"19000229", "19991301", "19990100", "00000101", "1999 231", "1999123"})
            QTest::newRow(bad) << QByteArray(bad) << QDate() << false;
        QTest::newRow("zero bytes") << QByteArray(8, '\0') << QDate() << false;
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

    // One field of a one-row table: the value read (a date as ISO text) and the read's only
    // problem, given after "Row 1, <field>: ".
    void field_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QByteArray>("memo");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("problem");
        const QByteArray abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        QByteArray longText;
        for (int i = 0; i < 1016; ++i)
            longText += char('a' + i % 26);
        const QByteArray two = dbtMemo({dbtBlock(20, abc), dbtBlock(11, "second")});
        const auto add = [&](const char *name, Field f, const QByteArray &raw, const QString &value,
                             const QString &problem = {}, const QByteArray &memo = {}) {
            QTest::newRow(name) << int(f) << raw << (memo.isNull() ? two : memo) << value
                                << problem;
        };
        const auto one = [](int length, const QByteArray &text) {
            return dbtMemo({dbtBlock(length, text)});
        };
        const QString beyond = "the memo file ends before this block; imported empty";
        const QString inside = "block 1: the memo file ends inside this block; ";

        add("ID", Id, "   417", "417");
        add("ID half to even, down", Id, "  2.5", "2");
        add("ID half to even, up", Id, "  3.5", "4");
        add("ID blank", Id, {}, "0");
        add("ID out of range", Id, "9E99", "0", "\"9E99  \" is out of range; imported as 0");
        add("Date", Date, "19991231", "1999-12-31");
        add("DateAdded", DateAdded, "20240101", "2024-01-01");
        add("DateChanged", DateChanged, "20011130", "2001-11-30");
        add("bad Date", Date, "19991340", {}, "\"19991340\" is not a date; imported empty");
        add("bad DateAdded", DateAdded, "2024 1 1", {},
            "\"2024 1 1\" is not a date; imported empty");
        add("bad DateChanged", DateChanged, "ABCDEFGH", {},
            "\"ABCDEFGH\" is not a date; imported empty");
        add("description trailing", Description, "Lease   ", "Lease");
        add("description full width", Description, QByteArray(40, 'd'), QString(40, u'd'));
        add("description accented", Description, "Caf\xe9 \x80 5", "Café € 5");
        add("who tab kept", Who, "Tab\t", "Tab\t");
        add("type", Type, " Letter  ", " Letter");
        add("NUL padding", Description, QByteArray("Lease\0\0 \0", 9), "Lease");
        add("NUL-padded type", Type, QByteArray("Memo\0\0\0\0\0\0", 10), "Memo");
        add("NUL inside", Who, QByteArray("Ann\0Lee", 7), "AnnLee",
            "\"Ann?Lee\" holds NUL bytes; imported without them");
        add("note block 0", Note, "0", {});
        add("length byte 8", Note, "1", {}, {}, one(8, abc));
        add("length byte 20", Note, "1", "ABCDEFGHIJKL");
        add("longest note", Note, "1", QString::fromLatin1(longText.left(247)), {},
            one(255, longText));
        add("blanks inside kept", Note, "1", "  two   xx", {}, one(8 + 10, "  two   xx"));
        add("trailing blanks", Note, "1", "  two", {}, one(8 + 10, "  two     "));
        add("accented note", Note, "1", "naïve€", {}, one(8 + 6, "na\xefve\x80"));
        add("fraction rounds to even", Note, "2.5", "sec");
        add("length byte below 8", Note, "1", {},
            "block 1: length byte 7 is below 8; imported empty", one(7, abc));
        add("beyond the memo file", Note, "3", {}, "block 3: " + beyond);
        add("negative block", Note, "-1", {}, "block -1: no such block; imported empty");
        add("huge block number", Note, "1E30", {}, "block 1E30: " + beyond);
        add("empty memo file", Note, "1", {}, "block 1: " + beyond, "");
        add("last block cut in its text", Note, "1", "ABCDE",
            inside + "5 of 12 characters imported", dbtMemo({dbtBlock(20, abc).left(8 + 5)}));
        add("last block cut in its header", Note, "1", {}, inside + "0 of 12 characters imported",
            dbtMemo({dbtBlock(20, abc).left(6)}));
        add("last block without length byte", Note, "1", {}, inside + "imported empty",
            dbtMemo({QByteArray(3, 'x')}));
        add("NUL after the note", Note, "1", "note", {},
            one(8 + 9, QByteArray("note\0\0 \0\0", 9)));
        add("NUL inside the note", Note, "1", "abcd",
            "block 1: the note holds NUL bytes; imported without them",
            one(8 + 5, QByteArray("ab\0cd", 5)));
    }
    void field()
    {
        QFETCH(int, field);
        QFETCH(QByteArray, raw);
        QFETCH(QByteArray, memo);
        QFETCH(QString, problem);
        DbfRow r = row("1");
        QByteArray *fields[] = {&r.id,   &r.description, &r.who,         &r.type,
                                &r.date, &r.dateAdded,   &r.dateChanged, &r.memoBlock};
        *fields[field] = raw;
        const ReadResult result = read(dbfTable({r}), memo);
        QCOMPARE(result.documents.size(), 1);
        const LegacyDocument &d = result.documents.first();
        const auto iso = [](const std::optional<QDate> &date) {
            return date ? date->toString(Qt::ISODate) : QString();
        };
        const QStringList values{
            QString::number(d.id), d.description,      d.who, d.typeName, iso(d.date),
            iso(d.dateAdded),      iso(d.dateChanged), d.note};
        QTEST(values.at(field), "value");
        const QStringList names{"ID",   "Description", "Who",         "Type",
                                "Date", "DateAdded",   "DateChanged", "Note"};
        QList<DbfProblem> expected;
        if (!problem.isEmpty())
            expected.append({1, names.at(field), problem});
        QCOMPARE(result.problems, expected);
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
        const ReadResult result = read(dbfTable({row("1", "40000")}));
        QCOMPARE(result.documents.value(0).note, QStringLiteral("far!"));
        QVERIFY(result.problems.isEmpty());
    }

    void memoFileUnusable_data()
    {
        QTest::addColumn<int>("special");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << int(NoSpecial) << QStringLiteral("is missing");
        QTest::newRow("folder") << int(Folder)
                                << QStringLiteral("cannot be read: it is a folder, not a file");
        QTest::newRow("named pipe")
            << int(Pipe) << QStringLiteral("cannot be read: it is a named pipe, not a file");
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
        const QString expected = QStringLiteral("block 1: the memo file \"%1\" %2")
                                     .arg(QDir::toNativeSeparators(memoPath()), reason);
        QCOMPARE(result.problems.at(0).row, 1);
        QCOMPARE(result.problems.at(0).field, QStringLiteral("Note"));
        QCOMPARE(result.problems.at(0).what, expected + "; imported empty");
        QCOMPARE(result.problems.at(1).row, 3);
    }

    void decode_data()
    {
        QTest::addColumn<int>("driver"); // the header's language-driver byte
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("codePage");
        QTest::newRow("e acute") << 0 << QByteArray("\xe9") << QStringLiteral("é") << 1252;
        QTest::newRow("euro") << 0 << QByteArray("\x80") << QStringLiteral("€") << 1252;
        QTest::newRow("quotes and dash")
            << 0 << QByteArray("\x93x\x94\x96") << QStringLiteral("\u201cx\u201d\u2013") << 1252;
        QTest::newRow("y diaeresis high")
            << 0 << QByteArray("\x9f\xff") << QStringLiteral("Ÿÿ") << 1252;
        QTest::newRow("undefined bytes keep C1")
            << 0 << QByteArray("\x81\x8d\x8f\x90\x9d")
            << QStringLiteral("\u0081\u008d\u008f\u0090\u009d") << 1252;
        QTest::newRow("nbsp") << 0 << QByteArray("\xa0") << QStringLiteral("\u00a0") << 1252;
        QTest::newRow("DOS 437") << 0x01 << QByteArray("\x82\x94\xe1") << QStringLiteral("éöß")
                                 << 437;
        QTest::newRow("DOS 850") << 0x02 << QByteArray("\x9b\xb5") << QStringLiteral("øÁ") << 850;
        QTest::newRow("DOS 852") << 0x64 << QByteArray("\xa5\x9f\xe7") << QStringLiteral("ąčš")
                                 << 852;
        QTest::newRow("DOS 865") << 0x66 << QByteArray("\x9b\x9d\xa4") << QStringLiteral("øØñ")
                                 << 865;
        QTest::newRow("DOS 866") << 0x65 << QByteArray("\x80\xe0\xf0") << QStringLiteral("АрЁ")
                                 << 866;
        QTest::newRow("Windows 1250")
            << 0xC8 << QByteArray("\x8a\xb9\xe8") << QStringLiteral("Šąč") << 1250;
        QTest::newRow("Windows 1251")
            << 0xC9 << QByteArray("\xc0\xff") << QStringLiteral("Ая") << 1251;
        QTest::newRow("Windows 1252 named")
            << 0x03 << QByteArray("\x80\x8a") << QStringLiteral("€Š") << 1252;
        QTest::newRow("unknown driver")
            << 0x4D << QByteArray("\x80\xe9") << QStringLiteral("€é") << 1252;
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
        QTest::newRow("named") << 0x64
                               << "Text was read in DOS code page 852 (language driver 0x64).";
        QTest::newRow("none")
            << 0 << "The table names no code page; text was read in Windows code page 1252.";
        QTest::newRow("unknown") << 0x4D
                                 << "The table's language driver 0x4D names no code page the "
                                    "import knows; text was read in Windows code page 1252.";
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
        const QString before = QStringLiteral(
            "the table file ends before this row, although its header states %1 rows");
        QTest::newRow("whole rows") << 5 << 3 << 0 << before.arg(5);
        QTest::newRow("cut inside a row") << 5 << 3 << 50
                                          << "the table file ends inside this row (50 of 131 "
                                             "bytes), although its header states 5 rows";
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
        QTest::newRow("named pipe")
            << int(Pipe) << QByteArray() << "it is a named pipe, not a file";
        QTest::newRow("device") << int(Device) << QByteArray()
                                << "it is a device or another special file, not a regular file";
        QTest::newRow("empty") << 0 << QByteArray()
                               << "the file is too short for its header (0 of 32 bytes)";
        QTest::newRow("header cut") << 0 << dbfTable({}).left(320)
                                    << "the file is too short for its header (320 of 321 bytes)";
        QTest::newRow("negative count")
            << 0 << dbfTable({row("1")}, -1) << "its header states a negative number of rows (-1)";
        QTest::newRow("not dBASE III or IV")
            << 0 << shaped([](DbfShape &s) { s.version = 0x30; })
            << "it is not a dBASE III or IV table (its first byte is 0x30)";
        QTest::newRow("other name")
            << 0 << shaped([](DbfShape &s) { s.fields[1].name = "NAME"; })
            << fields + "field 2 is \"NAME\" C(40), where the import reads \"DESCRIPTIO\" C(40)";
        QTest::newRow("other type")
            << 0 << shaped([](DbfShape &s) { s.fields[0].type = 'C'; })
            << fields + "field 1 is \"ID\" C(6), where the import reads \"ID\" N(6)";
        QTest::newRow("other width") << 0 << shaped([](DbfShape &s) {
            s.fields[6].length = 25;
            s.recordLength = 126;
        }) << fields + "field 7 is \"WHO\" C(25), where the import reads \"WHO\" C(30)";
        QTest::newRow("other order")
            << 0 << shaped([](DbfShape &s) { s.fields.swapItemsAt(5, 6); })
            << fields + "field 6 is \"WHO\" C(30), where the import reads \"TYPE\" C(10)";
        QTest::newRow("a field more")
            << 0 << shaped([](DbfShape &s) {
                   s.fields.append({"KEPT", 'L', 1});
                   s.headerLength = 353;
               })
            << fields +
                   "it has 9 fields, where the import reads 8 (the first extra is \"KEPT\" L(1))";
        QTest::newRow("a field less") << 0 << shaped([](DbfShape &s) { s.fields.removeLast(); })
                                      << fields + "it has 7 fields, where the import reads 8 (the "
                                                  "first missing is \"NOTE\" M(20))";
        QTest::newRow("no fields")
            << 0 << shaped([](DbfShape &s) { s.headerLength = 32; })
            << fields +
                   "it has 0 fields, where the import reads 8 (the first missing is \"ID\" N(6))";
        QTest::newRow("header too short for the fields")
            << 0 << shaped([](DbfShape &s) { s.headerLength = 200; })
            << fields + "it has 5 fields, where the import reads 8 (the first missing is \"TYPE\" "
                        "C(10))";
        QTest::newRow("other row length")
            << 0 << shaped([](DbfShape &s) { s.recordLength = 140; })
            << "its header states rows of 140 bytes, where the document table's rows have 131";
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
        const QString prefix =
            QStringLiteral("Cannot read \"%1\": ").arg(QDir::toNativeSeparators(tablePath()));
        QVERIFY2(result.error.startsWith(prefix) && result.error.size() > prefix.size(),
                 qPrintable(result.error));
        if (!reason.isEmpty())
            QCOMPARE(result.error, prefix + reason);
    }
};

QTEST_GUILESS_MAIN(tst_DbfReader)
#include "tst_dbfreader.moc"

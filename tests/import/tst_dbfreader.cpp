// The legacy table read field by field, then imported into a database, and the import's report.
#include "import/DbfReader.h"
#include "import/ImportReport.h"
#include "import/modConvert.h"
#include "support/DbfWriter.h"
#include "support/SqliteRows.h"

#include <QTest>

#include <sys/stat.h>

using namespace qs;
using namespace qs::test;

enum Field { Id, Description, Who, Type, Date, DateAdded, DateChanged, Note };

class tst_DbfReader : public QObject
{
    Q_OBJECT

    std::optional<TestFolder> m_folder;
    std::unique_ptr<Database> m_db;
    bool m_opened = false;
    QString m_error;
    QList<DbfProblem> m_problems;

    QString tablePath() const { return m_folder->file(QStringLiteral("Document.DBF")); }
    QString memoPath() const { return m_folder->file(QStringLiteral("Document.DBT")); }
    // A null array writes no file.
    void write(const QByteArray &table, const QByteArray &memo)
    {
        if ((!table.isNull() && !writeFile(tablePath(), table)) ||
            (!memo.isNull() && !writeFile(memoPath(), memo)))
            qFatal("cannot write the test files");
    }
    QList<LegacyDocument> read(const QByteArray &table, const QByteArray &memo = {})
    {
        write(table, memo);
        DbfReader reader(tablePath(), memoPath());
        m_opened = reader.open();
        m_error = reader.errorString();
        QList<LegacyDocument> documents;
        while (std::optional<LegacyDocument> doc = reader.next())
            documents.append(*doc);
        m_problems = reader.problems();
        return documents;
    }
    Result<ImportReport> convert(const QByteArray &table, const QByteArray &memo = {})
    {
        write(table, memo);
        return ConvertDbfDatabase(*m_db, tablePath(), memoPath());
    }
    QStringList stored(const char *sql) const { return sqliteRows(m_db->path(), sql); }

private slots:
    void init()
    {
        // A folder restores the current one it found: the old one goes before the new is made.
        m_db.reset(), m_folder.emplace();
        QVERIFY((m_db = makeDatabase(m_folder->file(QStringLiteral("test.db")))));
    }

    // The table as a whole: what real headers vary in and the import reads, rows as many as
    // the header states, and files it refuses. What is said: the error without its
    // "Cannot read" prefix (any reason for a missing file), or the only problem's row and text.
    void table_data()
    {
        QTest::addColumn<int>("special"); // 0: the contents, -1: no file
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("documents");
        QTest::addColumn<QString>("said");
        const auto shaped = [](const DbfShape &shape) {
            return dbfTable({dbfRow(7), dbfRow(8, {}, {}, '*'), dbfRow(9)}, {}, shape);
        };
        const auto with = [](int i, const DbfField &field) { // one descriptor changed or added
            QList<DbfField> fields = documentFields();
            fields.resize(std::max<qsizetype>(fields.size(), i + 1));
            fields[i] = field;
            return fields;
        };
        const auto rows = [](int present, int stated, const QByteArray &extra = {}) {
            QList<DbfRow> list;
            for (int i = 1; i <= present; ++i)
                list.append(dbfRow(i));
            return dbfTable(list, stated) + extra;
        };
        const auto add = [](const char *name, const QByteArray &contents, int documents,
                            const QString &said, int special = 0) {
            QTest::newRow(name) << special << contents << documents << said;
        };
        const QString differ = QStringLiteral("its fields are not those of the document table: ");
        const QString field = differ + "field %1 is %2, where the import reads %3";
        const QString count = differ + "it has %1 fields, where the import reads 8 (the first %2)";
        const QString shortBy = "the file is too short for its header (%1 of %2 bytes)";
        const QString ends = "%1: the table file ends %2, although its header states %3 rows";
        const QString before = "before this row";
        add("dBASE IV with memo", shaped({.version = 0x8B}), 2, {});
        add("no end mark", shaped({.headerLength = 288}), 2, {});
        add("small letters", shaped({.fields = with(1, {"Descriptio", 'C', 40})}), 2, {});
        add("rows beyond the count", rows(3, 2, "\x1a"), 2, {});
        add("cut inside a row", rows(3, 5, QByteArray(50, 'z')), 3,
            ends.arg(4).arg("inside this row (50 of 131 bytes)").arg(5));
        add("no rows at all", rows(0, 2), 0, ends.arg(1).arg(before).arg(2));
        add("past a read-ahead", rows(5000, 9000), 5000, ends.arg(5001).arg(before).arg(9000));
        add("missing", {}, 0, {}, -1);
        add("folder", {}, 0, "it is a folder, not a file", 1);
        add("named pipe", {}, 0, "it is a named pipe, not a file", 2);
        add("device", {}, 0, "it is a device or another special file, not a regular file", 3);
        add("empty", "", 0, shortBy.arg(0).arg(32));
        add("header cut", dbfTable({}).left(320), 0, shortBy.arg(320).arg(321));
        add("negative count", rows(0, -1), 0, "its header states a negative number of rows (-1)");
        add("dBASE 7", shaped({.version = 0x04}), 0,
            "it is not a dBASE III or IV table (its first byte is 0x04)");
        add("other name", shaped({.fields = with(1, {"NAME", 'C', 40})}), 0,
            field.arg(2).arg("\"NAME\" C(40)", "\"DESCRIPTIO\" C(40)"));
        add("other type", shaped({.fields = with(0, {"ID", 'C', 6})}), 0,
            field.arg(1).arg("\"ID\" C(6)", "\"ID\" N(6)"));
        add("other width", shaped({.fields = with(6, {"WHO", 'C', 25})}), 0,
            field.arg(7).arg("\"WHO\" C(25)", "\"WHO\" C(30)"));
        add("a field more", shaped({.headerLength = 353, .fields = with(8, {"KEPT", 'L', 1})}), 0,
            count.arg(9).arg("extra is \"KEPT\" L(1)"));
        add("header too short for the fields", shaped({.headerLength = 200}), 0,
            count.arg(5).arg("missing is \"TYPE\" C(10)"));
        add("other row length", shaped({.recordLength = 140}), 0,
            "its header states rows of 140 bytes, where the document table's rows have 131");
    }
    void table()
    {
        QFETCH(int, special);
        QFETCH(QByteArray, contents);
        QFETCH(QString, said);
        // A folder, a named pipe or a device in place of the file.
        QVERIFY(special != 1 || QDir().mkpath(tablePath()));
        QVERIFY(special != 2 || ::mkfifo(QFile::encodeName(tablePath()).constData(), 0600) == 0);
        QVERIFY(special != 3 || QFile::link("/dev/null", tablePath()));
        const QList<LegacyDocument> documents = read(contents);
        QTEST(int(documents.size()), "documents");
        // Rows begin where the header says.
        for (const LegacyDocument &d : documents)
            QCOMPARE(d.description, "Document " + QString::number(d.id));
        QCOMPARE(m_opened, special == 0 && (said.isEmpty() || said.front().isDigit()));
        QVERIFY(m_problems.size() <= 1);
        const QString prefix = "Cannot read \"" + QDir::toNativeSeparators(tablePath()) + "\": ";
        QString got = m_error.mid(prefix.size());
        if (m_opened && !m_problems.isEmpty())
            got = QString::number(m_problems[0].row) + ": " + m_problems[0].what;
        QVERIFY2(m_opened || m_error.startsWith(prefix), qPrintable(m_error));
        QVERIFY2(said.isEmpty() && !m_opened ? !got.isEmpty() : got == said, qPrintable(got));
    }

    // One field of a one-row table: the value read (a date as ISO text) and the read's only
    // problem, given after "Row 1, <field>: ". A memo of "<none>" or "<folder>" is no file.
    void field_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QByteArray>("memo");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("problem");
        const QByteArray abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        const QByteArray longText = abc.toLower().repeated(40).left(1016);
        const auto one = [](int n, const QByteArray &text) { return dbtMemo({dbtBlock(n, text)}); };
        const QByteArray two = dbtMemo({dbtBlock(20, abc), dbtBlock(11, "second")});
        const auto add = [&](const char *tag, Field f, const QByteArray &raw, const QString &value,
                             const QString &problem = {}, const QByteArray &memo = {}) {
            QTest::newRow(tag) << int(f) << raw << (memo.isNull() ? two : memo) << value << problem;
        };
        const QString notDate = "\"%1\" is not a date; imported empty";
        const QString beyond = "the memo file ends before this block; imported empty";
        const QString b1 = "block 1: ";
        const QString inside = b1 + "the memo file ends inside this block; ";
        const QString memoFile = b1 + "the memo file \"<memo>\" ";
        const QString nul = "holds NUL bytes; imported without them";

        add("ID, blanks inside", Id, "1 2 3 ", "123");
        add("ID, minus", Id, " -17", "-17");
        add("ID, letters end it", Id, "12ab3", "12");
        add("ID, half to even, down", Id, "  2.5", "2");
        add("ID, half to even, up", Id, "  3.5", "4");
        add("ID, point first", Id, "  .51", "1");
        add("ID out of range", Id, "9E99", "0", "\"9E99  \" is out of range; imported as 0");
        add("not a leap day", Date, "19000229", {}, notDate.arg("19000229"));
        add("bad DateAdded", DateAdded, "2024 1 1", {}, notDate.arg("2024 1 1"));
        add("DateChanged of NULs", DateChanged, QByteArray(8, '\0'), {}, notDate.arg("????????"));
        add("tab kept", Description, "Lease\t  ", "Lease\t");
        add("NUL padding", Description, QByteArray("Lease\0\0 \0", 9), "Lease");
        add("NUL inside", Who, QByteArray("Ann\0Lee", 7), "AnnLee", "\"Ann?Lee\" " + nul);
        add("byte 8", Note, "1", {}, {}, one(8, abc));
        add("byte 7", Note, "1", {}, b1 + "length byte 7 is below 8; imported empty", one(7, abc));
        add("longest", Note, "1", QString::fromLatin1(longText.left(247)), {}, one(255, longText));
        add("blanks, accents, NUL after", Note, "1", "  na\u00efve  \u20ac", {},
            one(8 + 13, QByteArray("  na\xefve  \x80\0 \0", 13)));
        add("fraction rounds to even", Note, "2.5", "sec");
        add("beyond the file", Note, "3", {}, "block 3: " + beyond);
        add("negative block", Note, "-1", {}, "block -1: no such block; imported empty");
        add("huge block number", Note, "1E30", {}, "block 1E30: " + beyond);
        add("memo missing", Note, "1", {}, memoFile + "is missing; imported empty", "<none>");
        add("memo a folder", Note, "1", {},
            memoFile + "cannot be read: it is a folder, not a file; imported empty", "<folder>");
        add("no block, memo missing", Note, "0", {}, {}, "<none>");
        add("cut in text", Note, "1", "ABCDE", inside + "5 of 12 characters imported",
            two.left(1037));
        add("cut in header", Note, "1", {}, inside + "0 of 12 characters imported", two.left(1030));
        add("no length byte", Note, "1", {}, inside + "imported empty", two.left(1027));
        // A large memo file holds blocks past 32767; their notes must not be lost.
        add("block past 16 bits", Note, "40000", "far!", {},
            dbtMemo({}) + QByteArray(39999 * 1024, '\0') + dbtBlock(8 + 4, "far!"));
        add("NUL in note", Note, "1", "abcd", b1 + "the note " + nul,
            one(13, QByteArray("ab\0cd", 5)));
    }
    void field()
    {
        QFETCH(int, field);
        QFETCH(QByteArray, raw);
        QFETCH(QByteArray, memo);
        QFETCH(QString, problem);
        DbfRow r = dbfRow(1);
        QByteArray *fields[] = {&r.id,   &r.description, &r.who,         &r.type,
                                &r.date, &r.dateAdded,   &r.dateChanged, &r.memoBlock};
        *fields[field] = raw;
        QVERIFY(memo != "<folder>" || QDir().mkpath(memoPath()));
        const LegacyDocument d =
            read(dbfTable({r}), memo.startsWith('<') ? QByteArray() : memo).value(0);
        // A date read shows as "date": only dates that are not read are tested here.
        const QStringList values =
            QStringList{QString::number(d.id), d.description, d.who, d.typeName}
            << (d.date ? "date" : "") << (d.dateAdded ? "date" : "")
            << (d.dateChanged ? "date" : "") << d.note;
        QTEST(values.at(field), "value");
        const QStringList names{"ID",   "Description", "Who",         "Type",
                                "Date", "DateAdded",   "DateChanged", "Note"};
        problem.replace("<memo>", QDir::toNativeSeparators(memoPath()));
        QCOMPARE(m_problems,
                 QList<DbfProblem>(problem.isEmpty() ? 0 : 1, {1, names.at(field), problem}));
    }

    // The header's language-driver byte names the code page text is read in (the import
    // test decodes in one of DOS); bytes that Windows 1252 leaves undefined keep their own
    // values.
    void codePage()
    {
        const auto page = [](int driver) { return CodePage::forLanguageDriver(quint8(driver)); };
        QCOMPARE(page(0x4D).decode("\x80\xe9\x93\x94\x81\x9d"),
                 QStringLiteral("€é\u201c\u201d\u0081\u009d"));
        QCOMPARE(fnDecodeLegacyText("\x80\x8d"), QStringLiteral("€\u008d"));
        // Each driver byte reads its own code page: letters where those pages differ.
        const std::tuple<int, const char *, QString> pages[] = {
            {0x01, "\x82\x94\xe1", "éöß"}, {0x02, "\x9b\xb5", "øÁ"},
            {0x64, "\xa5\x9f\xe7", "ąčš"}, {0x66, "\x9b\x9d\xa4", "øØñ"},
            {0x65, "\x80\xe0\xf0", "АрЁ"}, {0xC8, "\x8a\xb9\xe8", "Šąč"},
            {0xC9, "\xc0\xff", "Ая"},      {0x03, "\x80\x8a", "€Š"}};
        for (const auto &[driver, bytes, text] : pages)
            QCOMPARE(page(driver).decode(bytes), text);
        const QString named = "Text was read in %1 code page %2 (language driver 0x%3).";
        QCOMPARE(page(0x01).description(), named.arg("DOS").arg(437).arg("01"));
        QCOMPARE(page(0xC8).description(), named.arg("Windows").arg(1250).arg("C8"));
        QCOMPARE(page(0).description(),
                 "The table names no code page; text was read in Windows code page 1252.");
        QCOMPARE(page(0x4D).description(),
                 "The table's language driver 0x4D names no code page the import knows; text was "
                 "read in Windows code page 1252.");
    }

    // Each field in its column as stored, in file order, in the header's code page; only a '*'
    // marks a deleted row.
    void importedAsStored()
    {
        const DbfRow full{' ',        "  42", "  Lease   ",   "19991231", "20000229",
                          "20011130", "Deed", "Fran\x87oise", "1"};
        const auto report =
            convert(dbfTable({dbfRow(30), dbfRow(2, {}, {}, '*'), full, dbfRow(7, {}, {}, 'x')}, {},
                             {.languageDriver = 2}),
                    dbtMemo({dbtBlock(20, "ABCDEFGHIJKLMNOP")}));
        QVERIFY2(report.ok() && report->problems.isEmpty(), qPrintable(report.error()));
        QCOMPARE(stored("SELECT ID, Description, Date, DateAdded, DateChanged, Who, Note, "
                        "DocumentType, (SELECT Type FROM Types) FROM Documents ORDER BY RecordPtr"),
                 (QStringList{
                     "30|Document 30|NULL|NULL|NULL|||0|Deed",
                     "42|  Lease|1999-12-31|2000-02-29|2001-11-30|Françoise|ABCDEFGHIJKL|1|Deed",
                     "7|Document 7|NULL|NULL|NULL|||0|Deed"}));
    }

    // Rows share a type when their names differ only in trailing blanks and the letter case
    // of ASCII letters; the first spelling is kept, and a type already stored is reused.
    void typesShared()
    {
        QVERIFY(addType(*m_db, "Legal  ") == 1);
        QList<DbfRow> legacy;
        for (const QByteArray type :
             {"", "   ", "Letter", "LETTER    ", "letter  ", "O'Neil", "o'neil", "  Bill", "Bill",
              "\xc9tat", "\xe9TAT", "\xc9TAT", "Ma\xdf", "MASS", "mass", "LEGAL"})
            legacy.append(dbfRow(int(legacy.size()) + 1, type));
        const auto report = convert(dbfTable(legacy));
        QVERIFY2(report.ok() && report->problems.isEmpty(), qPrintable(report.error()));
        QCOMPARE(stored("SELECT RecordPtr || Type FROM Types ORDER BY RecordPtr").join(','),
                 "1Legal  ,2Letter,3O'Neil,4  Bill,5Bill,6État,7éTAT,8Maß,9MASS");
        QCOMPARE(stored("SELECT DocumentType FROM Documents ORDER BY RecordPtr").join(' '),
                 "0 0 2 2 2 3 3 4 5 6 7 6 8 9 9 1");
    }

    // A refused import leaves nothing behind; type keys stay within 16 bits.
    void refusalAndTypeKeys()
    {
        QVERIFY(m_db->exec({"CREATE TRIGGER refuse BEFORE INSERT ON Documents WHEN NEW.ID = 13 "
                            "BEGIN SELECT RAISE(ABORT, 'no thirteen'); END",
                            {}}));
        auto report =
            convert(dbfTable({dbfRow(1, "Kept?"), dbfRow(9, {}, {}, '*'), dbfRow(2), dbfRow(13)}));
        QCOMPARE(report.ok() ? QString() : report.error(),
                 "The legacy table \"" + QDir::toNativeSeparators(tablePath()) +
                     "\" could not be imported at row 4: no thirteen");
        QCOMPARE(stored("SELECT COUNT(*) FROM Documents UNION ALL SELECT COUNT(*) FROM Types"),
                 (QStringList{"0", "0"}));
        // The next type gets key 32767, the one after that would be beyond 16 bits.
        QVERIFY(m_db->exec({"INSERT INTO Types (RecordPtr, Type) VALUES (?, ?)", {32766, "Old"}}));
        DbfRow badDate = dbfRow(3, "Third");
        badDate.date = "1999XX31";
        report = convert(
            dbfTable({dbfRow(1, "Last"), dbfRow(2, "Second"), badDate, dbfRow(4, "second")}));
        QVERIFY2(report.ok(), qPrintable(report.error()));
        QCOMPARE(stored("SELECT DocumentType FROM Documents UNION ALL SELECT RecordPtr FROM Types"),
                 (QStringList{"32767", "0", "0", "0", "32766", "32767"}));
        const QString full = "type \"%1\" cannot be added, because type keys cannot go beyond "
                             "32767; imported without a type";
        QCOMPARE(report->problems,
                 (QList<DbfProblem>{{2, "Type", full.arg("Second")},
                                    {3, "Date", "\"1999XX31\" is not a date; imported empty"},
                                    {3, "Type", full.arg("Third")},
                                    {4, "Type", full.arg("second")}}));
    }

    // Singular counts, no code page; twenty problems all shown. The first start's test sees
    // the rest of the report.
    void report()
    {
        ImportReport report{1, 1, {{7, "Date", "\"%1\" bad"}}, {}};
        QCOMPARE(fnImportLog(report), "1 document was imported from \"Document.DBF\"; 1 deleted "
                                      "row was skipped.\n\n1 problem was found:\nRow 7, Date: "
                                      "\"%1\" bad\n");
        report.problems.fill(report.problems[0], 20);
        QVERIFY(fnImportMessage(report).endsWith(
            "Row 7, Date: \"%1\" bad\n\nAll problems are listed in \"Document.log\" beside the "
            "database."));
    }
};

QTEST_GUILESS_MAIN(tst_DbfReader)
#include "tst_dbfreader.moc"

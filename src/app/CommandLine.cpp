#include "CommandLine.h"

#include "Version.h"
#include "main/CsvExport.h"
#include "main/DocumentQuery.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace qs {

namespace {

struct Parser
{
    QCommandLineParser parser;
    // Our own help option: the toolkit's adds --help-all, which only a started
    // application can answer.
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Displays these options and ends.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Displays the version and ends.")};
    QCommandLineOption folder{QStringLiteral("folder"),
                              QStringLiteral("Works in <dir> (made when missing) instead of "
                                             "the current folder."),
                              QStringLiteral("dir")};
    QCommandLineOption folderDocuments{
        QStringLiteral("folder-documents"),
        QStringLiteral("Works in the folder \"Quillstack\" of the user's documents folder "
                       "(made when missing), as the desktop launcher does.")};
    QCommandLineOption exportCsv{QStringLiteral("export-csv"),
                                 QStringLiteral("Writes the whole index, in the default list "
                                                "order, to <file> as CSV without opening a "
                                                "window, and ends."),
                                 QStringLiteral("file")};
    QCommandLineOption database{
        QStringLiteral("database"),
        QStringLiteral("Works on a database on a PostgreSQL server instead of the file: "
                       "<conninfo> is a connection string (\"host=server dbname=quillstack\"), "
                       "a URI (\"postgresql://server/quillstack\"), \"service=name\" or a "
                       "database name; PG* variables, ~/.pgpass and pg_service.conf apply. Keep "
                       "passwords in ~/.pgpass rather than here."),
        QStringLiteral("conninfo")};
    QCommandLineOption copyFrom{QStringLiteral("copy-from"),
                                QStringLiteral("With --database: copies every document and type "
                                               "of the database file <file> to the server, "
                                               "which must hold none yet, then goes on."),
                                QStringLiteral("file")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Quillstack keeps an index of paper and electronic documents. It "
                           "works on the database \"Qsk.MDB\" in the current folder, or on "
                           "a PostgreSQL server (--database)."));
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(folder);
        parser.addOption(folderDocuments);
        parser.addOption(exportCsv);
        parser.addOption(database);
        parser.addOption(copyFrom);
    }
};

CommandLine failure(const QString &what)
{
    CommandLine line;
    line.action = CommandLine::Action::Fail;
    line.text = what + QStringLiteral("\nTry \"quillstack --help\" for the options.\n");
    return line;
}

} // namespace

bool runsWithoutWindow(const QStringList &arguments)
{
    // Options the toolkit would take for itself are not known here: only look at ours.
    Parser p;
    p.parser.parse(arguments);
    return p.parser.isSet(p.help) || p.parser.isSet(p.version) || p.parser.isSet(p.exportCsv);
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    Parser p;
    if (!p.parser.parse(arguments))
        return failure(p.parser.errorText());
    CommandLine line;
    if (p.parser.isSet(p.help)) {
        line.action = CommandLine::Action::PrintText;
        line.text = p.parser.helpText();
        return line;
    }
    if (p.parser.isSet(p.version)) {
        line.action = CommandLine::Action::PrintText;
        line.text = QStringLiteral("Quillstack %1\n").arg(QLatin1String(ProgramVersion));
        return line;
    }
    if (!p.parser.positionalArguments().isEmpty())
        return failure(QStringLiteral("Unexpected argument \"%1\".")
                           .arg(p.parser.positionalArguments().constFirst()));
    if (p.parser.isSet(p.folder) && p.parser.isSet(p.folderDocuments))
        return failure(QStringLiteral("Give either --folder or --folder-documents, not both."));
    if (p.parser.isSet(p.folder)) {
        const QString folder = p.parser.value(p.folder);
        if (folder.isEmpty())
            return failure(QStringLiteral("--folder needs the name of a folder."));
        line.folder = QFileInfo(folder).absoluteFilePath();
    } else if (p.parser.isSet(p.folderDocuments)) {
        line.folder = documentsWorkFolder();
    }
    if (p.parser.isSet(p.copyFrom)) {
        const QString file = p.parser.value(p.copyFrom);
        if (!p.parser.isSet(p.database))
            return failure(QStringLiteral("--copy-from copies to a database server: give "
                                          "--database too."));
        if (file.isEmpty())
            return failure(QStringLiteral("--copy-from needs the name of a database file."));
        line.copyFrom = QFileInfo(file).absoluteFilePath();
    }
    if (p.parser.isSet(p.database)) {
        // Empty is allowed: libpq then takes everything from PG* variables and service files.
        line.onServer = true;
        line.conninfo = p.parser.value(p.database);
    }
    if (p.parser.isSet(p.exportCsv)) {
        const QString file = p.parser.value(p.exportCsv);
        if (file.isEmpty())
            return failure(QStringLiteral("--export-csv needs the name of a file."));
        line.action = CommandLine::Action::ExportCsv;
        line.exportFile = QFileInfo(file).absoluteFilePath();
    }
    return line;
}

QString documentsWorkFolder()
{
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    return QDir(documents).filePath(QStringLiteral("Quillstack"));
}

Status enterWorkFolder(const QString &folder)
{
    if (folder.isEmpty())
        return Status::success();
    if (!QDir().mkpath(folder) || !QDir::setCurrent(folder))
        return Status::failure(QStringLiteral("The folder \"%1\" could not be made or entered.")
                                   .arg(QDir::toNativeSeparators(folder)));
    return Status::success();
}

Status exportIndexCsv(Database &db, const QString &file)
{
    // The order the window starts with: the one saved with "Set as default".
    const QSettings settings(QStringLiteral("Quillstack"), QStringLiteral("Quillstack"));
    DocumentQuery query;
    query.order = orderFromClause(settings.value(QStringLiteral("Default/Order")).toString());
    const auto outcome = exportDocumentsCsv(db, DocumentListSource(query), file);
    return outcome ? Status::success() : Status::failure(outcome.error());
}

} // namespace qs

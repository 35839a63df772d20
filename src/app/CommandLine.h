#pragma once

#include "store/Status.h"

#include <QString>
#include <QStringList>

namespace qs {

class Database;

// What the command line asks for. Paths are absolute, taken against the folder the program
// was started in, so that a relative export file still means what the user typed after the
// program has moved into its work folder.
struct CommandLine
{
    enum class Action {
        OpenWindow, // the program as usual
        ExportCsv,  // write the index to `exportFile` without a window
        PrintText,  // print `text` (help, version) and end
        Fail        // print `text` (what was wrong) and end with an error
    };
    Action action = Action::OpenWindow;
    // The folder to work in (made when missing); empty: the current folder.
    QString folder;
    QString exportFile;
    // A database server instead of the file: `conninfo` is handed to the engine untouched
    // (it may hold a password, so it is never printed).
    bool onServer = false;
    QString conninfo;
    // A database file whose documents and types are copied to the (empty) server first.
    QString copyFrom;
    QString text;
};

// Reads the arguments (the program's name first). Needs no application object; with one,
// the help text names the program as it was started.
CommandLine parseCommandLine(const QStringList &arguments);

// True when the arguments can only be served without a window (help, version, export), so
// that no display is needed.
bool runsWithoutWindow(const QStringList &arguments);

// The folder the desktop launcher works in: "Quillstack" in the user's documents folder.
QString documentsWorkFolder();

// Makes `folder` (when missing) and makes it the current folder.
Status enterWorkFolder(const QString &folder);

// Writes the whole index, in the user's default list order, to `file` as CSV: the work of
// --export-csv.
Status exportIndexCsv(Database &db, const QString &file);

} // namespace qs

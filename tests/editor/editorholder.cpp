// Test aid: a second copy of the program with a record open in its editor.
// Usage: qs_editorholder <database> <RecordPtr>. Prints "OPEN" once the
// editor holds the record; on the line "exit" it leaves the editor as
// "Exit, no update" does and prints "CLOSED".
#include "editor/EditorState.h"
#include "editor/frmChange.h"
#include "store/ListSource.h"
#include "store/Recordset.h"
#include "store/SqliteDatabase.h"

#include <QApplication>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    auto db = qs::openSqliteDatabase(QString::fromLocal8Bit(argv[1]));
    if (!db)
        return 1;
    auto list = db.value()->openDynaset(std::make_shared<qs::SqlListSource>(
        QStringLiteral("Documents"), QString(), QVariantList(), QStringLiteral("ID DESC")));
    if (!list->findFirst(QStringLiteral("RecordPtr"), QString::fromLocal8Bit(argv[2]).toLongLong()))
        return 1;
    qs::gAddMode = false;
    qs::frmChange editor(*db.value(), *list, nullptr, nullptr);
    if (const qs::Status s = editor.Form_Load(); !s) {
        std::printf("FAILED %s\n", qPrintable(s.message()));
        return 1;
    }
    std::puts("OPEN");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "exit") {
            editor.cmdExit_Click();
            std::puts("CLOSED");
            std::fflush(stdout);
        }
    }
    return 0;
}

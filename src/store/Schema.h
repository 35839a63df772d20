#pragma once

#include <QString>

// Names fixed by the stored files; every other part of the program uses these.
namespace qs::schema {

inline const QString DatabaseFile = QStringLiteral("Qsk.MDB");
inline const QString TemplateFile = QStringLiteral("QskDef.MDB");
inline const QString LegacyTableFile = QStringLiteral("Document.DBF");
inline const QString LegacyMemoFile = QStringLiteral("Document.DBT");
inline const QString HelpFile = QStringLiteral("Qsk.Hlp");

inline const QString Documents = QStringLiteral("Documents");
inline const QString Types = QStringLiteral("Types");

// The key column of both tables.
inline const QString RecordPtr = QStringLiteral("RecordPtr");

// Index names on Documents, selected by name on table record sets.
inline const QString IndexRecordPtr = QStringLiteral("RecordPtr");
inline const QString IndexDescription = QStringLiteral("Description");
inline const QString IndexWho = QStringLiteral("Who");

// Bumped whenever the stored layout changes, so a later release can migrate.
constexpr int Version = 1;

} // namespace qs::schema

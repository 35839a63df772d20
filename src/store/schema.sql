-- The empty document database. The build turns this file into the template
-- QskDef.MDB; the program copies that template on its first start.
--
-- Text compares and sorts without regard to letter case (NOCASE), dates are
-- ISO text (YYYY-MM-DD) or null, and RecordPtr is assigned by the engine:
-- positive, ascending in the order of adding, never reused.

PRAGMA user_version = 1;

CREATE TABLE Documents (
    ID           INTEGER,
    Description  TEXT COLLATE NOCASE,
    DocumentType INTEGER NOT NULL DEFAULT 0,
    Date         DATE CHECK (Date IS NULL OR Date GLOB '[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]'),
    Who          TEXT COLLATE NOCASE,
    Note         TEXT COLLATE NOCASE,
    RecordPtr    INTEGER PRIMARY KEY AUTOINCREMENT,
    DateAdded    DATE CHECK (DateAdded IS NULL OR DateAdded GLOB '[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]'),
    DateChanged  DATE CHECK (DateChanged IS NULL OR DateChanged GLOB '[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]')
);

-- The "RecordPtr" index is the table's own key.
CREATE INDEX Description ON Documents (Description);
CREATE INDEX Who ON Documents (Who);
-- The unfiltered list, highest number first. Not unique: legacy tables may
-- repeat numbers. Descending, so that ties come out in ascending RecordPtr.
CREATE INDEX ID ON Documents (ID DESC);

CREATE TABLE Types (
    Type      TEXT COLLATE NOCASE,
    RecordPtr INTEGER PRIMARY KEY AUTOINCREMENT
);

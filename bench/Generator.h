#pragma once

#include "store/Database.h"

namespace qs::bench {

// Fills a database with `count` realistic documents: descriptions, names and
// notes drawn from a word list with skewed frequencies and mixed letter case,
// dates over 30 years with a few missing, 20 types, and document numbers
// that do not follow the order of adding.
Status generateDocuments(Database &db, int count, quint32 seed = 1);

} // namespace qs::bench

#pragma once

// Data-driven tables in few lines: the columns declared at once, one row per line, and the
// current row's values fetched at once (auto [a, b] = fetch<int, QString>("a", "b")).

#include <QTest>

#include <tuple>

namespace qs::test {

template <typename... T, typename... Names> void columns(Names... names)
{
    (QTest::addColumn<T>(names), ...);
}

template <typename... Values> void row(const char *name, Values... values)
{
    (QTest::newRow(name) << ... << values);
}

template <typename... T, typename... Names> std::tuple<T...> fetch(Names... names)
{
    return {*static_cast<T *>(QTest::qData(names, qMetaTypeId<T>()))...};
}

} // namespace qs::test

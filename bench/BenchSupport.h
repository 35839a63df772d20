#pragma once

// What the benchmark's parts share: the program as main() builds it, and
// timing figures.
#include "main/Session.h"
#include "main/frmMain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace qs::bench {

// The program as main() builds it: the window over a session that outlives
// it (the session base is built first and goes last).
struct SessionHolder
{
    Session session;
};
struct Program : SessionHolder, frmMain
{
    Program() : frmMain(SessionHolder::session) {}
};

struct Figures
{
    std::vector<double> ms;
    double median() const { return at(0.5); }
    double p95() const { return at(0.95); }
    double at(double q) const
    {
        if (ms.empty())
            return 0;
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, size_t(q * double(v.size())))];
    }
};

inline double timeMs(const std::function<void()> &fn)
{
    QElapsedTimer t;
    t.start();
    fn();
    return double(t.nsecsElapsed()) / 1e6;
}

inline void settle()
{
    // Paint what the change produced, as the screen would.
    QCoreApplication::processEvents();
}

inline void row(const QString &name, const Figures &f, const Figures &bare = {})
{
    std::printf("%-44s median %8.2f ms   p95 %8.2f ms", qPrintable(name), f.median(), f.p95());
    if (!bare.ms.empty())
        std::printf("   | bare SQLite LIKE median %8.2f ms", bare.median());
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace qs::bench

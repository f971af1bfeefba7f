#pragma once

#include <QtGlobal>

// The work the search for one trigger's next time may do, counted in steps:
// one for each question put to an element (a run time, whether it holds an
// instant, the way out of its windows) and one for each window hopped on the
// way out. Every loop of the search has its own bound of 365, but the bounds
// multiply (passes times fallbacks times tries times moves times hops), so a
// schedule file could keep one search busy for hours. A trigger whose search
// has used up its steps offers no time.
class SearchBudget
{
public:
    // Ten times what the hardest real schedule asks (365 passes over a year
    // of excluded days takes about 2,200), and some ten milliseconds of work.
    static constexpr int kMaxSteps = 20000;

    // Takes one step; false, from now on, once none is left.
    bool take();
    bool isSpent() const { return m_left < 0; }

private:
    int m_left = kMaxSteps;
};

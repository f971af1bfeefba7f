#pragma once

#include "schedctlrules.h"

#include <QList>
#include <QString>

#include <vector>

class Timeline;

// The page `schedctl timeline --html` writes: the picture inline and, below
// it, a table of the same firings and clock changes. One file that needs no
// script and refers to nothing outside itself, so it opens anywhere, also
// offline and in a mail.
class TimelinePage
{
public:
    // `facts` and `lines` are those `timeline` was drawn from.
    static QString html(const Timeline &timeline,
                        const std::vector<SchedctlRules::ScheduleFacts> &facts,
                        const QList<SchedctlRules::PreviewLine> &lines);
};

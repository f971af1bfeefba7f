#pragma once

#include "configlocal.h"
#include "reasonwords.h"
#include "schedctltime.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class FiringPreview;
class Schedule;

// The schedctl commands that read a rule set without the bus, through the
// scheduler's own loading code, and the forms every schedctl answer takes.
// Each command answers schedctl's exit code.
namespace SchedctlRules {

// The most firings one preview lists: enough for years of a busy rule set,
// and a bound on the work a mistyped count or a far --until can ask for.
constexpr int kMaxPreviewCount = 1000000;
// The most firings one timeline draws: four times a month of 200 busy
// schedules. Past it the marks overlap by the dozen in every column of
// pixels, and a browser takes long to open the picture.
constexpr int kMaxTimelineFirings = 50000;

// How an answer is printed: aligned columns for people, ending with a line
// that names the rule set; tab-separated lines without a heading for
// scripts; or one JSON document on one line.
enum class Output
{
    Table,
    Tsv,
    Json
};

// The scheduler's store, read as it is on disk; what the schedules write back
// while they are built stays in memory.
class ReadOnlyStore : public Orvel::ConfigLocal
{
public:
    ReadOnlyStore();
    bool save() override { return true; }
};

// The rule set to use: `given`, or the highest-numbered one under
// $ORVEL_HOME/rules when `given` is 0. Answers 0, with one line on standard
// error, when there is none or `given` does not exist.
quint32 ruleSetOrLatest(quint32 given);

// What a preview lists: from `from` on, at most `count` firings, up to
// `until` (included) when that is valid; of every schedule, or of `schedule`
// only.
struct Range
{
    QDateTime from;
    int count = 0;
    QDateTime until;
    QString schedule;
};

// What every answer says about one schedule besides its times.
struct ScheduleFacts
{
    explicit ScheduleFacts(const Schedule &schedule);

    QString name;
    QString policy;
    QString operation;
    ReasonWords words;
};

// One line of a preview: a firing, or a change of the clock between firings.
struct PreviewLine
{
    QDateTime at;
    int schedule = -1; // a position in FiringPreview::schedules(); -1 for a clock change
    int trigger = -1;
    int fallback = -1;
    SchedctlTime::ClockChange change;
    QList<int> excludedBy; // FiringPreview::PlannedFiring::excludedBy
};

// The firings `preview` makes over `range`, with the clock changes between:
// the one computation behind `preview` and `timeline`, so that a picture
// never shows other firings than the list. `cut` tells whether it stopped at
// range.count firings before range.until.
QList<PreviewLine> previewLines(FiringPreview &preview, const Range &range, bool &cut);
// The same lines handed to `take` one by one as they are worked out, for a
// listing that need not hold them all.
void previewLines(FiringPreview &preview, const Range &range, bool &cut,
                  const std::function<void(const PreviewLine &)> &take);

// NEXT, LEFT, LAST, PASSED, the name and the reason of every schedule, from
// the rules and the scheduler's store, which is read but never written.
int timers(quint32 ruleSet, Output output);
// What the scheduler would fire over `range`, with the clock changes between;
// no store is read or written.
int preview(quint32 ruleSet, const Range &range, Output output);
// Draws what the scheduler would fire from `from` until `end` (excluded),
// as `schedctl timeline` does, into `file`: an SVG picture, or with `page`
// an HTML page holding the picture and a table of its firings.
int timeline(quint32 ruleSet, const QDateTime &from, const QDateTime &end, const QString &file,
             bool page);
// The manual triggers of rule set `ruleSet`, read from its files.
int triggers(quint32 ruleSet, Output output);
// Prints manual triggers as rows of name, policy and operation; `ruleSet` 0
// stands for the rule set the running scheduler answered from.
int printTriggers(const QList<QStringList> &rows, quint32 ruleSet, Output output);
// Why schedule `name` of rule set `ruleSet` fires next when it does: from the
// rules and the scheduler's store as `timers` reads them, or, with a valid
// `from`, as a fresh start at `from` without the store, as `preview` starts.
// 1 when the rule set has no such schedule.
int explain(quint32 ruleSet, const QString &name, const QDateTime &from, Output output);
// Every problem the scheduler would only trace while loading the rule set,
// one line each: "file: reason". 1 when there is any.
int check(quint32 ruleSet, Output output);

void printTsv(const QList<QStringList> &rows);
void printJson(const QJsonObject &document);
// "1 firing", "5 firings".
QString counted(qint64 count, const char *noun);

} // namespace SchedctlRules

#include "rulesetloader.h"

#include "clock.h"
#include "fixedpath.h"
#include "heap.h"
#include "localpolicies.h"
#include "names.h"
#include "policyparser.h"
#include "rulesplace.h"
#include "searchmemo.h"
#include "trace.h"
#include "xmlfeed.h"

#include <QSet>

#include <optional>
#include <utility>

using namespace Orvel;

// The policy rules as a load takes them: fed while they are read, or read
// whole beforehand.
class RuleSetLoader::PolicyEntries
{
public:
    explicit PolicyEntries(XmlFeed &feed)
        : m_feed(&feed)
    {}
    explicit PolicyEntries(const Config &rules)
        : m_rules(&rules)
    {}

    const Config *unreadable() const { return m_rules && !*m_rules ? m_rules : nullptr; }

    bool next(XmlList &entries)
    {
        if (m_feed)
            return m_feed->next(entries);
        if (std::exchange(m_handedOut, true))
            return false;
        entries = *m_rules;
        return true;
    }

private:
    XmlFeed *m_feed = nullptr;
    const Config *m_rules = nullptr;
    bool m_handedOut = false;
};

// The policy rules are by far the biggest file of a rule set. They are read
// on a thread of their own while the policies read so far are parsed here;
// the tree read there is dropped at the end and leaves no holes among the
// schedules (policyparser.cpp copies the texts a schedule keeps). Nearly
// every file is plain XML, which that reader takes; for any other file what
// was done meanwhile is undone, its trace lines too, and the file is read
// whole first.
QList<Schedule> RuleSetLoader::load(quint32 ruleSet, Config *timesStore, RulesReport *report)
{
    std::optional<XmlFeed> feed(std::in_place, ruleFile(ruleSet, Names::PolicyRulesFile));
    {
        TraceHold hold;
        const Config storeBefore = timesStore ? *timesStore : Config();
        RulesReport found;
        const Config dispatcherRules(ruleFile(ruleSet, Names::DispatcherRulesFile), QString());
        PolicyEntries fed(*feed);
        QList<Schedule> made =
            loadPolicies(ruleSet, dispatcherRules, fed, timesStore, report ? &found : nullptr);
        if (feed->isWhole()) {
            hold.release();
            for (const RulesReport::Finding &finding : found.findings())
                report->add(finding);
            Heap::dropAndGiveBack([&feed] { feed.reset(); });
            return made;
        }
        // The scheduler's store is written at the end of the delivery that
        // reloads, so putting the copy back undoes every change.
        if (timesStore)
            *timesStore = storeBefore;
    }
    feed.reset();
    const Config dispatcherRules(ruleFile(ruleSet, Names::DispatcherRulesFile), QString());
    Config policyRules;
    Heap::runApart([&] { policyRules.load(ruleFile(ruleSet, Names::PolicyRulesFile), QString()); });
    PolicyEntries whole(policyRules);
    QList<Schedule> made = loadPolicies(ruleSet, dispatcherRules, whole, timesStore, report);
    Heap::dropAndGiveBack([&policyRules] { policyRules = Config(); });
    return made;
}

QString RuleSetLoader::ruleFile(quint32 ruleSet, const QString &name)
{
    return FixedPath::rules(ruleSet) + QLatin1Char('/') + name;
}

// Every record of an implemented policy is parsed, so a policy whose record
// occurs twice gives its schedules twice.
QList<Schedule> RuleSetLoader::loadPolicies(quint32 ruleSet, const Config &dispatcherRules,
                                            PolicyEntries &policies, Config *timesStore,
                                            RulesReport *report)
{
    QList<Schedule> made;
    const QStringList local = LocalPolicies::fromDispatcherRules(dispatcherRules, report);
    if (local.isEmpty())
        return made;
    TraceLine(3, "rulesetloader", __LINE__)
        << "Parse policy rules for" << local.size() << "locally implemented policies";
    const RulesPlace file(ruleFile(ruleSet, Names::PolicyRulesFile), QString(), report);
    if (const Config *rules = policies.unreadable()) {
        TraceLine(2, "rulesetloader", __LINE__) << "Failed to open the policy rules";
        file.report(RulesReport::Reason::FileUnreadable, rules->errorText());
        return made;
    }
    // One instant and one parser for the whole load, so that schedules
    // timed alike are built and searched once (sharedtimings.h, searchmemo.h).
    const Clock::Hold instant;
    const SearchMemo searches;
    PolicyParser parser(ruleSet, timesStore);
    const QSet<QString> implemented(local.begin(), local.end());
    int entriesRead = 0;
    int position = 0;
    XmlList entries;
    while (policies.next(entries)) {
        for (XmlListIterator it = entries.first(); !it.isNull(); it.next(), ++entriesRead) {
            if (it.name() != Names::Policy)
                continue;
            const QString label = RulesPlace::numbered(it.name(), ++position);
            XmlList record;
            QString name;
            if (!entries.get(record, it)) {
                file.passedOver(label, "list");
                continue;
            }
            if (!file.inside(label).read(record, Names::Policy, name) ||
                !implemented.contains(name))
                continue;
            TraceLine(3, "rulesetloader", __LINE__) << "Parse policy" << name;
            made.append(parser.parsePolicy(
                record, file.inside(RulesPlace::numbered(it.name(), name)).forPolicy(name)));
        }
    }
    if (entriesRead == 0) {
        TraceLine(2, "rulesetloader", __LINE__) << "No policy rules";
        file.report(RulesReport::Reason::FileEmpty);
    }
    return made;
}

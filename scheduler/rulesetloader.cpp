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

#include <QSet>

using namespace Orvel;

QList<Schedule> RuleSetLoader::load(quint32 ruleSet, Config *timesStore, RulesReport *report)
{
    const QString folder = FixedPath::rules(ruleSet) + QLatin1Char('/');
    const Config dispatcherRules(folder + Names::DispatcherRulesFile, QString());
    // The policy rules are by far the biggest tree of a load, and it is
    // dropped once the schedules are built; read apart, it leaves no holes
    // among them (policyparser.cpp copies the texts a schedule keeps).
    Config policyRules;
    Heap::runApart([&] { policyRules.load(folder + Names::PolicyRulesFile, QString()); });
    QList<Schedule> made;
    const QStringList local = LocalPolicies::fromDispatcherRules(dispatcherRules, report);
    if (!local.isEmpty()) {
        TraceLine(3, "rulesetloader", __LINE__)
            << "Parse policy rules for" << local.size() << "locally implemented policies";
        // One instant and one parser for the whole load, so that schedules
        // timed alike are built and searched once (sharedtimings.h, searchmemo.h).
        const Clock::Hold instant;
        const SearchMemo searches;
        PolicyParser parser(ruleSet, timesStore);
        parsePolicyRules(policyRules, local, parser, report, made);
    }
    Heap::dropAndGiveBack([&policyRules] { policyRules = Config(); });
    return made;
}

// Every record of an implemented policy is parsed, so a policy whose record
// occurs twice gives its schedules twice.
void RuleSetLoader::parsePolicyRules(const Config &rules, const QStringList &localPolicies,
                                     PolicyParser &parser, RulesReport *report,
                                     QList<Schedule> &made)
{
    const RulesPlace file(rules.filePath(), QString(), report);
    if (!rules) {
        TraceLine(2, "rulesetloader", __LINE__) << "Failed to open the policy rules";
        file.report(RulesReport::Reason::FileUnreadable, rules.errorText());
        return;
    }
    if (rules.isEmpty()) {
        TraceLine(2, "rulesetloader", __LINE__) << "No policy rules";
        file.report(RulesReport::Reason::FileEmpty);
        return;
    }
    const QSet<QString> implemented(localPolicies.begin(), localPolicies.end());
    int position = 0;
    for (XmlListIterator it = rules.first(); !it.isNull(); it.next()) {
        if (it.name() != Names::Policy)
            continue;
        const QString label = RulesPlace::numbered(it.name(), ++position);
        XmlList record;
        QString name;
        if (!rules.get(record, it)) {
            file.passedOver(label, "list");
            continue;
        }
        if (!file.inside(label).read(record, Names::Policy, name) || !implemented.contains(name))
            continue;
        TraceLine(3, "rulesetloader", __LINE__) << "Parse policy" << name;
        made.append(parser.parsePolicy(
            record, file.inside(RulesPlace::numbered(it.name(), name)).forPolicy(name)));
    }
}

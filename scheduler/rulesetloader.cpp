#include "rulesetloader.h"

#include "fixedpath.h"
#include "localpolicies.h"
#include "names.h"
#include "policyparser.h"
#include "rulesplace.h"
#include "trace.h"

#include <QSet>

using namespace Orvel;

namespace {} // namespace

QList<Schedule> RuleSetLoader::load(quint32 ruleSet, Config *timesStore, RulesReport *report)
{
    const QString folder = FixedPath::rules(ruleSet) + QLatin1Char('/');
    const Config dispatcherRules(folder + Names::DispatcherRulesFile, QString());
    const Config policyRules(folder + Names::PolicyRulesFile, QString());
    QList<Schedule> made;
    const QStringList local = LocalPolicies::fromDispatcherRules(dispatcherRules, report);
    if (!local.isEmpty()) {
        TraceLine(3, "rulesetloader", __LINE__)
            << "Parse policy rules for" << local.size() << "locally implemented policies";
        parsePolicyRules(policyRules, local, ruleSet, timesStore, report, made);
    }
    return made;
}

// Every record of an implemented policy is parsed, so a policy whose record
// occurs twice gives its schedules twice.
void RuleSetLoader::parsePolicyRules(const Config &rules, const QStringList &localPolicies,
                                     quint32 ruleSet, Config *timesStore, RulesReport *report,
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
    const PolicyParser parser(ruleSet, timesStore);
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

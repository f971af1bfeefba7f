#include "rulesplace.h"

using Orvel::TraceLine;

RulesPlace::RulesPlace(const QString &file, const QString &list, RulesReport *report)
    : m_file(file)
    , m_list(list)
    , m_report(report)
{}

QString RulesPlace::numbered(const QString &name, int position)
{
    return numbered(name, QString::number(position));
}

QString RulesPlace::numbered(const QString &name, const QString &which)
{
    return name + QLatin1Char('[') + which + QLatin1Char(']');
}

RulesPlace RulesPlace::inside(const QString &key) const
{
    RulesPlace place = *this;
    place.m_list = entry(key);
    return place;
}

RulesPlace RulesPlace::inFile(const QString &file) const
{
    RulesPlace place = *this;
    place.m_file = file;
    place.m_list.clear();
    return place;
}

RulesPlace RulesPlace::forPolicy(const QString &policy) const
{
    RulesPlace place = *this;
    place.m_policy = policy;
    return place;
}

RulesPlace RulesPlace::forOperation(const QString &operation) const
{
    RulesPlace place = *this;
    place.m_operation = operation;
    return place;
}

QString RulesPlace::entry(const QString &key) const
{
    return m_list.isEmpty() ? key : m_list + QLatin1Char('/') + key;
}

void RulesPlace::name(TraceLine &line, const QString &key) const
{
    line << entry(key);
    if (!m_file.isEmpty())
        line << "of" << m_file;
}

void RulesPlace::passedOver(const QString &key, const char *shape) const
{
    report(RulesReport::Reason::PassedOver, QLatin1String(shape), key);
    TraceLine line(2, "rulesplace", __LINE__);
    line << "Passed over";
    name(line, key);
    line << "- not a" << shape;
}

void RulesPlace::refused(const QString &key, const char *shape) const
{
    report(RulesReport::Reason::RuleRefused, QLatin1String(shape), key);
    TraceLine line(2, "rulesplace", __LINE__);
    name(line, key);
    line << "is not a" << shape;
}

void RulesPlace::report(RulesReport::Reason reason, const QString &detail, const QString &key) const
{
    if (m_report)
        m_report->add(
            {m_file, m_policy, m_operation, key.isEmpty() ? m_list : entry(key), reason, detail});
}

#include "rulesplace.h"

using Orvel::TraceLine;

RulesPlace::RulesPlace(const QString &file, const QString &list)
    : m_file(file)
    , m_list(list)
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
    return RulesPlace(m_file, entry(key));
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
    TraceLine line(2, "rulesplace", __LINE__);
    line << "Passed over";
    name(line, key);
    line << "- not a" << shape;
}

void RulesPlace::refused(const QString &key, const char *shape) const
{
    TraceLine line(2, "rulesplace", __LINE__);
    name(line, key);
    line << "is not a" << shape;
}

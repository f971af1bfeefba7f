#include "msgaddress.h"

namespace Orvel {

namespace {

const QString kProcess = QStringLiteral("Process");
const QString kGroup = QStringLiteral("Group");
const QString kWellKnown = QStringLiteral("WellKnown");

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// A bus name element allows [A-Za-z0-9_] and must not start with a digit:
// every other UTF-8 byte becomes "_" and two lower-case hex digits.
QString escapeElement(const QString &text)
{
    QString element;
    for (const char c : text.toUtf8()) {
        if (isNameCharacter(c))
            element += QLatin1Char(c);
        else
            element += QStringLiteral("_%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    }
    if (!element.isEmpty() && element.at(0).isDigit())
        element.prepend(QLatin1Char('_'));
    return element;
}

} // namespace

MsgAddress::MsgAddress(const QString &process, const QString &group)
    : m_processName(process)
    , m_groupName(group)
{}

MsgAddress::MsgAddress(int wellKnown)
    : m_known(wellKnown)
{}

bool MsgAddress::isValid() const
{
    return m_known != None || (!m_processName.isEmpty() && !m_groupName.isEmpty());
}

QString MsgAddress::busName() const
{
    if (m_known != None || !isValid())
        return QString();
    return QStringLiteral("org.orvel.") + escapeElement(m_groupName) + QLatin1Char('.') +
           escapeElement(m_processName);
}

XmlList MsgAddress::toXml() const
{
    XmlList list;
    if (m_known != None) {
        list.set(kWellKnown, quint32(m_known), XmlList::Replace);
        return list;
    }
    list.set(kProcess, m_processName, XmlList::Replace);
    list.set(kGroup, m_groupName, XmlList::Replace);
    return list;
}

MsgAddress MsgAddress::fromXml(const XmlList &list)
{
    quint32 wellKnown = 0;
    if (list.get(wellKnown, kWellKnown))
        return MsgAddress(int(wellKnown));
    QString process;
    QString group;
    if (list.get(process, kProcess) && list.get(group, kGroup))
        return MsgAddress(process, group);
    return MsgAddress();
}

bool MsgAddress::operator==(const MsgAddress &other) const
{
    return m_known == other.m_known && m_processName == other.m_processName &&
           m_groupName == other.m_groupName;
}

} // namespace Orvel

#include "toolsupport.h"

#include "childmanager.h"
#include "clock.h"
#include "context.h"
#include "hubrouter.h"
#include "msg.h"

#include <algorithm>
#include <cstdio>

namespace ToolSupport {

void printMessage(const Orvel::Msg &msg)
{
    const QString stamp = Orvel::Clock::now().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz"));
    std::printf("%s %s %s\n", qPrintable(stamp), qPrintable(msg.name()),
                msg.body().toBinary().constData());
    std::fflush(stdout);
}

void fail(const char *tool, const QString &text)
{
    std::fprintf(stderr, "%s: %s\n", tool, qPrintable(text));
}

void printAligned(const QList<QStringList> &rows)
{
    printAligned(int(rows.size()), [&rows](int i) { return rows.at(i); });
}

void printAligned(int count, const std::function<QStringList(int)> &row)
{
    QList<int> widths;
    for (int i = 0; i < count; ++i) {
        const QStringList cells = row(i);
        for (int column = 0; column + 1 < cells.size(); ++column) {
            if (column == widths.size())
                widths.append(0);
            widths[column] = std::max(widths.at(column), int(cells.at(column).size()));
        }
    }
    for (int i = 0; i < count; ++i) {
        const QStringList cells = row(i);
        QString line;
        for (int column = 0; column < cells.size(); ++column)
            line += column + 1 < cells.size()
                        ? cells.at(column).leftJustified(widths.at(column) + 2)
                        : cells.at(column);
        std::printf("%s\n", qPrintable(line));
    }
    std::fflush(stdout);
}

int printEveryMessage(const char *tool)
{
    using namespace Orvel;
    ChildManager manager;
    if (!manager.initialize(1, 1)) {
        fail(tool, QStringLiteral("cannot own the name of %1/%2")
                       .arg(Context::processName(), Context::groupName()));
        return ExitFailure;
    }
    manager.addMsgHandler(QString(), ChildManager::handler([](const Msg &msg) {
                              printMessage(msg);
                              return eMsgResultHandled;
                          }));
    Msg::wait(ChildManager::ConditionDone(manager), -1);
    manager.release();
    return ExitSuccess;
}

} // namespace ToolSupport

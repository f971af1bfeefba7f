#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace Orvel {
class Msg;
class MsgAddress;
} // namespace Orvel

// What the operator and peer programs share: how they print a received
// message and how they report an error.
namespace ToolSupport {

// Every tool's exit status: success; an answer that is a problem (a trigger
// nobody has, problems found by a check); a usage error or a peer, bus or
// file that cannot be reached.
enum ExitStatus : int
{
    ExitSuccess = 0,
    ExitProblem = 1,
    ExitFailure = 2
};

// One line on standard output: local time, message name, body.
void printMessage(const Orvel::Msg &msg);
// One line on standard error: "tool: text".
void fail(const char *tool, const QString &text);
// Prints `rows` with every column padded to its widest cell, two blanks
// apart, for people to read. A row's last cell is not padded, so the last
// cell of a short row runs on across the columns after it.
void printAligned(const QList<QStringList> &rows);
// The same for `count` rows made by `row`, asked twice for each: once to
// measure, once to print, so that long listings are not held as text.
void printAligned(int count, const std::function<QStringList(int)> &row);
// Owns the bus name of the running process, prints every message it receives
// until the process is shut down; 0 then, 2 when the name cannot be owned.
int printEveryMessage(const char *tool);

} // namespace ToolSupport

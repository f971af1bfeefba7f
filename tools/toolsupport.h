#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace Orvel {
class Msg;
class MsgAddress;
} // namespace Orvel

// What the operator and peer programs share: how they print a received
// message and how they report an error.
namespace ToolSupport {

// One line on standard output: local time, message name, body.
void printMessage(const Orvel::Msg &msg);
// One line on standard error: "tool: text".
void fail(const char *tool, const QString &text);
// Asks the hub router whether `peer` is on the bus, waiting at most
// `timeoutMs`, so that a message to nobody is reported instead of vanishing.
bool peerIsThere(const Orvel::MsgAddress &peer, int timeoutMs);
// Prints `rows` with every column padded to its widest cell, two blanks
// apart, for people to read.
void printAligned(const QList<QStringList> &rows);
// Owns the bus name of the running process, prints every message it receives
// until the process is shut down; 0 then, 2 when the name cannot be owned.
int printEveryMessage(const char *tool);

} // namespace ToolSupport

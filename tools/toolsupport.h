#pragma once

#include <QString>

namespace Orvel {
class Msg;
}

// What the operator and peer programs share: how they print a received
// message and how they report an error.
namespace ToolSupport {

// One line on standard output: local time, message name, body.
void printMessage(const Orvel::Msg &msg);
// One line on standard error: "tool: text".
void fail(const char *tool, const QString &text);
// Owns the bus name of the running process, prints every message it receives
// until the process is shut down; 0 then, 2 when the name cannot be owned.
int printEveryMessage(const char *tool);

} // namespace ToolSupport

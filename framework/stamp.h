#pragma once

#include <QByteArray>

namespace Orvel::Stamp {

// The time stamp that opens every trace and event-log line: local time now,
// "YYYY-MM-DDThh:mm:ss", and ".zzz" after it when `milliseconds` is set.
// Lines come by the thousand in a burst of firings, so the stamp is built
// by hand, and the local time of a second is worked out once for all the
// lines within it.
void appendNow(QByteArray &out, bool milliseconds);

// `value` in decimal, padded with leading zeros to `width` digits (at most 10,
// as many as an unsigned value can have).
void appendNumber(QByteArray &out, unsigned value, int width);
// The same written at `to`, which has room for 10 characters; answers the end
// of what was written.
char *writeNumber(char *to, unsigned value, int width);

} // namespace Orvel::Stamp

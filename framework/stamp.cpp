#include "stamp.h"

#include <algorithm>

#include <ctime>

namespace Orvel::Stamp {

namespace {

// The text of the local second last stamped, on each thread that stamps.
struct SecondText
{
    time_t second = -1;
    QByteArray text;
};

const QByteArray &secondText(time_t second)
{
    thread_local SecondText last;
    if (second != last.second) {
        tm local{};
        localtime_r(&second, &local);
        last.second = second;
        last.text.clear();
        appendNumber(last.text, unsigned(local.tm_year + 1900), 4);
        last.text += '-';
        appendNumber(last.text, unsigned(local.tm_mon + 1), 2);
        last.text += '-';
        appendNumber(last.text, unsigned(local.tm_mday), 2);
        last.text += 'T';
        appendNumber(last.text, unsigned(local.tm_hour), 2);
        last.text += ':';
        appendNumber(last.text, unsigned(local.tm_min), 2);
        last.text += ':';
        appendNumber(last.text, unsigned(local.tm_sec), 2);
    }
    return last.text;
}

} // namespace

void appendNow(QByteArray &out, bool milliseconds)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    out += secondText(now.tv_sec);
    if (milliseconds) {
        out += '.';
        appendNumber(out, unsigned(now.tv_nsec / 1000000), 3);
    }
}

char *writeNumber(char *to, unsigned value, int width)
{
    char digits[16];
    char *const end = digits + sizeof digits;
    char *first = end;
    do {
        *--first = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int pad = width - int(end - first); pad > 0; --pad)
        *to++ = '0';
    return std::copy(first, end, to);
}

void appendNumber(QByteArray &out, unsigned value, int width)
{
    char text[16];
    out.append(text, writeNumber(text, value, width) - text);
}

} // namespace Orvel::Stamp

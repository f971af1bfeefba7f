#pragma once

#include <QString>
#include <QStringList>

namespace Orvel {

// Starts a program detached, in the current directory, with the arguments
// exactly as added. The caller does not wait for it.
class Spawn
{
public:
    void setProgram(const QString &path) { program = path; }
    void addArgument(const QString &argument) { arguments << argument; }
    void addArgument(const char *argument) { arguments << QString::fromUtf8(argument); }
    // Written as a decimal number.
    void addArgument(quint32 number) { arguments << QString::number(number); }

    // False when the program is not an executable regular file, or could not
    // be started; error() then gives the errno value.
    bool spawn();
    int error() const { return errorNumber; }

private:
    QString program;
    QStringList arguments;
    int errorNumber = 0;
};

} // namespace Orvel

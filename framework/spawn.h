#pragma once

#include <QString>
#include <QStringList>

namespace Orvel {

// Starts a program detached, in the current directory, with the arguments
// exactly as added. The caller does not wait for it.
class Spawn
{
public:
    void setProgram(const QString &path) { m_program = path; }
    void addArgument(const QString &argument) { m_arguments << argument; }
    void addArgument(const char *argument) { m_arguments << QString::fromUtf8(argument); }
    // Written as a decimal number.
    void addArgument(quint32 number) { m_arguments << QString::number(number); }

    // False when the program is not an executable regular file, or could not
    // be started; error() then gives the errno value.
    bool spawn();
    int error() const { return m_errorNumber; }

private:
    QString m_program;
    QStringList m_arguments;
    int m_errorNumber = 0;
};

} // namespace Orvel

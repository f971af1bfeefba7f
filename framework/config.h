#pragma once

#include "xmllist.h"

namespace Orvel {

// An XmlList read from a file. The file is `path` itself when `name` is empty,
// else `name` inside the folder `path`. A file that is missing, unreadable or
// not well-formed leaves the list empty and converting to false, with one
// trace line naming the file and why.
class Config : public XmlList
{
public:
    Config() = default;
    Config(const QString &path, const QString &name);
    virtual ~Config() = default;
    Config(const Config &) = default;
    Config &operator=(const Config &) = default;

    bool load(const QString &path, const QString &name);
    // Writes the list back to the file it was loaded from, atomically. A failed
    // save leaves the old file whole, answers false and is traced as a fault.
    virtual bool save();

    QString filePath() const { return m_file; }
    // Why the last load failed, in words: the system's reason, or where the
    // text breaks the XML rules or a limit. Empty after a load that succeeded.
    QString errorText() const { return m_error; }

protected:
    bool write(bool createFolder);

private:
    QString m_file;
    QString m_error;
};

} // namespace Orvel

#pragma once

#include "trace.h"
#include "xmllist.h"

#include <QString>

// Where a reader of the rules takes its entries from: the rules file, and the
// path of a list inside it such as "ScheduleElement[2]/WeekDays". A reader
// takes each entry in one shape (a text, a number, a bool or a list) and
// passes over an entry of that name in another shape as if it were absent.
//
// Deliberate choice: it says so, at level 2 and naming the file and the
// entry, where passing over used to be silent, so that a mistyped rule never
// goes unnoticed and `schedctl check` (which reports every line of level 2
// or below under the file it names) lists it.
class RulesPlace
{
public:
    // A reader asked on its own, outside any file.
    RulesPlace() = default;
    RulesPlace(const QString &file, const QString &list);

    // "name[which]": one of several entries of a name, by position or by name.
    static QString numbered(const QString &name, int position);
    static QString numbered(const QString &name, const QString &which);

    // The place of the list `key` of this list.
    [[nodiscard]] RulesPlace inside(const QString &key) const;

    // Reads the entry `key` of `list` as XmlList::get does; an entry that is
    // there in another shape is passed over with the line
    // "Passed over <entry> of <file> - not a <shape>".
    template<typename T> bool read(const Orvel::XmlList &list, const QString &key, T &out) const
    {
        if (list.get(out, key))
            return true;
        if (list.contains(key))
            passedOver(key, shapeOf(out));
        return false;
    }

    void passedOver(const QString &key, const char *shape) const;
    // For an entry whose shape makes its reader refuse the rule:
    // "<entry> of <file> is not a <shape>".
    void refused(const QString &key, const char *shape) const;

private:
    static const char *shapeOf(const QString &) { return "text"; }
    static const char *shapeOf(quint32) { return "uint"; }
    static const char *shapeOf(bool) { return "bool"; }
    static const char *shapeOf(const Orvel::XmlList &) { return "list"; }

    QString entry(const QString &key) const;
    // Streams "list/key", and "of" and the file when the file is known.
    void name(Orvel::TraceLine &line, const QString &key) const;

    QString m_file;
    QString m_list;
};

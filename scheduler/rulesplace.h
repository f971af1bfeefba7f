#pragma once

#include "rulesreport.h"
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
// goes unnoticed.
//
// A place may carry a report (rulesreport.h), with the policy and operation
// being read: every reader then adds its findings there beside its trace
// lines, which is what `schedctl check` lists. Without one, reporting costs
// nothing.
class RulesPlace
{
public:
    // A reader asked on its own, outside any file.
    RulesPlace() = default;
    RulesPlace(const QString &file, const QString &list, RulesReport *report = nullptr);

    // "name[which]": one of several entries of a name, by position or by name.
    static QString numbered(const QString &name, int position);
    static QString numbered(const QString &name, const QString &which);

    // The place of the list `key` of this list.
    [[nodiscard]] RulesPlace inside(const QString &key) const;
    // The top of another file, read for the same policy and operation.
    [[nodiscard]] RulesPlace inFile(const QString &file) const;
    // This place, read for policy `policy`, or its operation `operation`.
    [[nodiscard]] RulesPlace forPolicy(const QString &policy) const;
    [[nodiscard]] RulesPlace forOperation(const QString &operation) const;

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

    // Adds a finding about the entry `key` of this list (this list itself
    // when `key` is empty) to the report, when there is one.
    void report(RulesReport::Reason reason, const QString &detail = QString(),
                const QString &key = QString()) const;

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
    RulesReport *m_report = nullptr;
    QString m_policy;
    QString m_operation;
};

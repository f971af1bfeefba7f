// Feeds arbitrary bytes to the XmlList text form. Whatever parses must survive
// being written out and parsed again unchanged, in both written forms, and
// whatever the fast plain reader takes must give the streaming reader's tree;
// nothing may crash, leak or overflow on the way.

#include "plainxml.h"
#include "xmlentries.h"
#include "xmllist.h"
#include "xmltext.h"

#include <cstdio>
#include <cstdlib>

using Orvel::XmlList;

namespace {

void requireSame(const XmlList &original, const QByteArray &written, const char *form)
{
    const XmlList again = XmlList::fromText(written, QStringLiteral("rewritten"));
    if (again == original)
        return;
    std::fprintf(stderr, "%s form does not round-trip:\n%s\n", form, written.constData());
    std::abort();
}

void requireSameAsStreamed(const QByteArray &text)
{
    const std::shared_ptr<Orvel::XmlEntries> fast = Orvel::PlainXml::read(text);
    if (!fast)
        return;
    QString why;
    const std::shared_ptr<Orvel::XmlEntries> streamed =
        Orvel::XmlStorage::streamRead(text, QStringLiteral("input"), why);
    if (streamed && Orvel::XmlText::write(*fast, false) == Orvel::XmlText::write(*streamed, false))
        return;
    std::fprintf(stderr, "the plain reader differs from the streaming reader (%s)\n",
                 qPrintable(why));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Refusals are expected by the million; writing their trace lines would
    // only slow the search down.
    qputenv("ORVEL_TRACE_LEVEL", "-1");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    requireSameAsStreamed(text);
    const XmlList list = XmlList::fromText(text, QStringLiteral("input"));
    if (!list)
        return 0;
    requireSame(list, list.toBinary(), "binary");
    requireSame(list, list.toFileText(), "file");
    return 0;
}

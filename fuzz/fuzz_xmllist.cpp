// Feeds arbitrary bytes to the XmlList text form. Whatever parses must survive
// being written out and parsed again unchanged, in both written forms; nothing
// may crash, leak or overflow on the way.

#include "xmllist.h"

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
    const XmlList list = XmlList::fromText(text, QStringLiteral("input"));
    if (!list)
        return 0;
    requireSame(list, list.toBinary(), "binary");
    requireSame(list, list.toFileText(), "file");
    return 0;
}

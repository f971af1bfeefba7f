#pragma once

#include <QByteArrayView>

#include <functional>
#include <memory>

namespace Orvel {

struct XmlEntry;
struct XmlEntries;

// A fast reader for the text nearly every file and body is: ASCII elements,
// attributes and text, without references, comments, CDATA sections or a
// declaration other than the usual one. It answers the very tree the
// streaming reader (xmltext.cpp) would give, a few times faster, or null for
// anything else: text it does not take, text that is not well-formed or that
// breaks a limit. Null sends the text on to the streaming reader, which
// decides it and writes the trace line.
namespace PlainXml {

// `eachTopEntry`, when given, sees each entry of the root as soon as it is
// read whole; whether the text is taken is known only at the end.
std::shared_ptr<XmlEntries> read(QByteArrayView text,
                                 const std::function<void(const XmlEntry &)> &eachTopEntry = {});

} // namespace PlainXml

} // namespace Orvel

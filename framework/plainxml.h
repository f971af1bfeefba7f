#pragma once

#include <QByteArrayView>

#include <memory>

namespace Orvel {

struct XmlEntries;

// A fast reader for the text nearly every file and body is: ASCII elements,
// attributes and text, without references, comments, CDATA sections or a
// declaration other than the usual one. It answers the very tree the
// streaming reader (xmltext.cpp) would give, a few times faster, or null for
// anything else: text it does not take, text that is not well-formed or that
// breaks a limit. Null sends the text on to the streaming reader, which
// decides it and writes the trace line.
namespace PlainXml {

std::shared_ptr<XmlEntries> read(QByteArrayView text);

} // namespace PlainXml

} // namespace Orvel

#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace Orvel {

struct XmlEntries;

// The text form of an XmlList, in files and message bodies: a reader that
// refuses hostile text before it grows a tree, and a writer that escapes
// what XML cannot carry.
namespace XmlText {

// Limits on what the text may hold, besides the depth and key length that
// XmlList itself keeps. Text beyond them is refused before any tree is
// built, so hostile input never reaches the tree's recursive copying and
// freeing, nor swallows memory.
//
// Text as large as the largest file a reader accepts, so that whatever a
// file holds can travel as a body.
inline constexpr qint64 kMaxTextBytes = 64 * 1024 * 1024;
// Elements plus attributes in one document. A tree costs a few hundred bytes
// a node; a million nodes is ten times the largest real rule set and keeps a
// hostile document to a few hundred megabytes.
inline constexpr qint64 kMaxNodes = 1000 * 1000;
// Attributes on one element. Entries carry two (name and type); the XML
// reader checks each attribute against all earlier ones of its element, so a
// hundred thousand on one element would stall it for minutes. Counted with a
// byte scan before the reader sees the text.
inline constexpr int kMaxAttributes = 64;

// The entries `text` holds, or null, with the trace line naming `source`,
// when it is not well-formed, breaks a limit or has a document type
// declaration (no entity is ever expanded or opened). `why`, when given, is
// then set to the reason in words, without `source`.
std::shared_ptr<XmlEntries> read(const QByteArray &text, const QString &source,
                                 QString *why = nullptr);
// The whole document in UTF-8: on one line, or with an XML declaration and
// one entry a line (`indent`) for files.
QByteArray write(const XmlEntries &root, bool indent);
// The entries alone, without the root element, on one line, in UTF-8.
QByteArray writeEntries(const XmlEntries &list);

} // namespace XmlText

} // namespace Orvel

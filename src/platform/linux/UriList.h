#pragma once

#include <QByteArray>
#include <QStringList>

namespace brivet {

// The file: URLs of a text/uri-list (RFC 2483: one URL a line, '#' comments), in order and as
// written, percent-encoding included. Other schemes and malformed lines are left out.
QStringList fileUrlsFromUriList(const QByteArray& uriList);

// The file: URLs of x-special/gnome-copied-files: a first line "copy" or "cut", then one URL a
// line.
QStringList fileUrlsFromGnomeCopiedFiles(const QByteArray& copiedFiles);

} // namespace brivet

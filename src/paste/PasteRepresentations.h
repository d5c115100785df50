#pragma once

#include "platform/Pasteboard.h"
#include "store/ClipboardItem.h"

#include <QByteArray>
#include <QList>
#include <optional>

namespace brivet {

// The image encodings recognised by their leading bytes.
enum class ImageFormat
{
    PNG,
    JPEG,
    TIFF
};

// The encoding of image bytes by their signature; std::nullopt for anything else.
std::optional<ImageFormat> sniffImageFormat(const QByteArray& bytes);

// What image bytes put on the clipboard: PNG as they are; other encodings under their own type
// (when the clipboard knows it) plus PNG converted from them. Converting a photo takes a good
// part of a second, so callers on the main thread run this on a worker. Thread-safe.
QList<PasteboardRepresentation> imageRepresentations(const QByteArray& bytes);

// What a record puts on the clipboard, by its kind, in the order it is offered:
//  - text: the text, then its formatted forms (HTML, RTF) as they were copied;
//  - link: the link text, then the URL when it parses as an absolute one, then its formatted
//    forms;
//  - file: the file's URL (never the stored bytes);
//  - image: the stored bytes under their real encoding, plus PNG converted from them when they
//    are not PNG already (bytes that are no known image give PNG only, or nothing when they
//    cannot be decoded).
// A record without the field its kind needs gives an empty list.
QList<PasteboardRepresentation> pasteboardRepresentations(const ClipboardItem& item);

// A record's plain text alone: a text's text, a link's link text, a file's path; nothing for
// an image.
QList<PasteboardRepresentation> plainTextRepresentations(const ClipboardItem& item);

} // namespace brivet

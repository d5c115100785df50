#pragma once

#include "platform/Pasteboard.h"

#include <QByteArray>
#include <QList>

namespace brivet {

// One selection target Brivet serves: the name applications ask for, the type the answer is
// declared with, and its bytes.
struct X11ClipboardTarget
{
    QByteArray target;
    QByteArray type;
    QByteArray data;
};

// Maps what Brivet offers onto the targets X11 applications ask for:
//  - String: UTF8_STRING, text/plain;charset=utf-8, and the older STRING (Latin-1), TEXT and
//    text/plain;
//  - URL: text/uri-list;
//  - FileURL: text/uri-list and x-special/gnome-copied-files ("copy" and the URLs), which
//    file managers use to paste the files themselves;
//  - PNG, JPEG, TIFF: image/png, image/jpeg, image/tiff;
//  - HTML, RTF: text/html, text/rtf.
// The first representation that yields a target name wins it.
QList<X11ClipboardTarget>
x11ClipboardTargets(const QList<PasteboardRepresentation>& representations);

} // namespace brivet

#include "platform/x11/X11ClipboardTargets.h"

#include <QString>

namespace brivet {

namespace {

void add(QList<X11ClipboardTarget>& targets, const QByteArray& target, const QByteArray& type,
         const QByteArray& data)
{
    for (const X11ClipboardTarget& existing : targets) {
        if (existing.target == target)
            return;
    }
    targets.append({target, type, data});
}

} // namespace

QList<X11ClipboardTarget>
x11ClipboardTargets(const QList<PasteboardRepresentation>& representations)
{
    QList<X11ClipboardTarget> targets;
    QList<QByteArray> fileUrls;
    for (const PasteboardRepresentation& representation : representations) {
        const QByteArray& data = representation.data;
        switch (representation.type) {
        case PasteboardType::String:
            add(targets, "UTF8_STRING", "UTF8_STRING", data);
            add(targets, "text/plain;charset=utf-8", "text/plain;charset=utf-8", data);
            add(targets, "STRING", "STRING", QString::fromUtf8(data).toLatin1());
            add(targets, "TEXT", "UTF8_STRING", data);
            add(targets, "text/plain", "text/plain", data);
            break;
        case PasteboardType::URL:
            add(targets, "text/uri-list", "text/uri-list", data + "\r\n");
            break;
        case PasteboardType::FileURL:
            fileUrls.append(data);
            break;
        case PasteboardType::PNG:
            add(targets, "image/png", "image/png", data);
            break;
        case PasteboardType::JPEG:
            add(targets, "image/jpeg", "image/jpeg", data);
            break;
        case PasteboardType::TIFF:
            add(targets, "image/tiff", "image/tiff", data);
            break;
        case PasteboardType::HTML:
            add(targets, "text/html", "text/html", data);
            break;
        case PasteboardType::RTF:
            add(targets, "text/rtf", "text/rtf", data);
            break;
        }
    }
    if (!fileUrls.isEmpty()) {
        add(targets, "text/uri-list", "text/uri-list", fileUrls.join("\r\n") + "\r\n");
        add(targets, "x-special/gnome-copied-files", "x-special/gnome-copied-files",
            "copy\n" + fileUrls.join('\n'));
    }
    return targets;
}

} // namespace brivet

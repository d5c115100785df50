#pragma once

#include "store/ClipboardItem.h"

// New history records as the store and the services receive them.
namespace brivet::test {

// A record of the given kind ("text", "link", "image", "file") with no field set.
inline ClipboardItem record(const QString& kind,
                            const QDateTime& when = QDateTime::currentDateTimeUtc())
{
    ClipboardItemContent content;
    content.contentType = kind;
    return ClipboardItem(content, when);
}

inline ClipboardItem textRecord(const QString& text,
                                const QDateTime& when = QDateTime::currentDateTimeUtc())
{
    ClipboardItemContent content;
    content.contentType = QStringLiteral("text");
    content.textContent = text;
    return ClipboardItem(content, when);
}

} // namespace brivet::test

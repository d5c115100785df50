#pragma once

#include "store/ClipboardItem.h"

#include <QList>
#include <QObject>

namespace brivet {

class PasteService;

// Pastes several records into the same window one after another, each as a paste of its own
// with all its representations: the next one is written only when the paste before it has
// run its course (its stroke sent and the window given the time to read it). The last one
// stays on the clipboard.
class PasteStack : public QObject
{
    Q_OBJECT
public:
    explicit PasteStack(PasteService& service, QObject* parent = nullptr);

    // Starts pasting items in order; a stack still under way gives up its remaining items.
    // plainText pastes each record's plain text alone (an image as it is).
    void paste(const QList<ClipboardItem>& items, bool plainText);
    bool isPasting() const { return m_isWaiting; }

signals:
    // The last item's paste has run its course.
    void finished();

private:
    void pasteNext();

    PasteService& m_service;
    QList<ClipboardItem> m_items;
    qsizetype m_next = 0;
    bool m_plainText = false;
    bool m_isWaiting = false; // for the paste of m_items[m_next - 1] to finish
};

} // namespace brivet

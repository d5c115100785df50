#include "paste/PasteStack.h"

#include "paste/PasteLogging.h"
#include "paste/PasteService.h"

namespace brivet {

PasteStack::PasteStack(PasteService& service, QObject* parent) : QObject(parent), m_service(service)
{
    connect(&m_service, &PasteService::pasteFinished, this, [this] {
        if (!m_isWaiting)
            return;
        m_isWaiting = false;
        pasteNext();
    });
}

void PasteStack::paste(const QList<ClipboardItem>& items, bool plainText)
{
    m_items = items;
    m_next = 0;
    m_plainText = plainText;
    if (m_isWaiting) {
        // The paste under way finishes first; its end starts this stack.
        qCInfo(lcPaste) << "a new paste stack replaces the one under way";
        return;
    }
    pasteNext();
}

void PasteStack::pasteNext()
{
    if (m_next >= m_items.size()) {
        qCInfo(lcPaste) << "paste stack of" << m_items.size() << "finished";
        m_items.clear();
        m_next = 0;
        emit finished();
        return;
    }
    const ClipboardItem item = m_items.at(m_next++);
    qCDebug(lcPaste).noquote() << "pasting" << m_next << "of" << m_items.size() << "(a"
                               << item.contentType << "record)";
    m_isWaiting = true;
    if (m_plainText)
        m_service.pastePlainText(item);
    else
        m_service.paste(item);
}

} // namespace brivet

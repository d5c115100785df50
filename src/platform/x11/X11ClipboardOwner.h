#pragma once

#include "platform/Pasteboard.h"

#include <QList>
#include <QObject>

#include <memory>

namespace brivet {

// Makes Brivet the owner of the CLIPBOARD selection and serves what it offers to every
// application that asks, for as long as it owns the selection (large content by INCR).
class X11ClipboardOwner : public QObject
{
    Q_OBJECT
public:
    explicit X11ClipboardOwner(QObject* parent = nullptr);
    ~X11ClipboardOwner() override;

    // False when no X server could be reached; clear() and offer() then do nothing.
    bool isAvailable() const;
    // Takes the selection with nothing to offer.
    void clear();
    enum OfferMode
    {
        Always,
        OnlyIfUnowned // only when no application owns the selection at that moment
    };
    // Takes the selection and offers the representations, replacing any earlier offer.
    void offer(const QList<PasteboardRepresentation>& representations, OfferMode mode = Always);
    // The window that owns CLIPBOARD on Brivet's behalf (0 when none), so that the reading
    // side can recognise Brivet's own writes.
    quint32 window() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brivet

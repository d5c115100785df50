#include "platform/x11/X11ClipboardOwner.h"

namespace brivet {

struct X11ClipboardOwner::Private
{
};

X11ClipboardOwner::X11ClipboardOwner(QObject* parent)
    : QObject(parent), d(std::make_unique<Private>())
{
}

X11ClipboardOwner::~X11ClipboardOwner() = default;

bool X11ClipboardOwner::isAvailable() const { return false; }
void X11ClipboardOwner::clear() {}
void X11ClipboardOwner::offer(const QList<PasteboardRepresentation>&) {}
quint32 X11ClipboardOwner::window() const { return 0; }

} // namespace brivet

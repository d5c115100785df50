#pragma once

#include "platform/KeySynthesizer.h"

#include <QStringList>

namespace brivet {

// Picks the paste shortcut a window answers to: Ctrl+Shift+V for terminals (Ctrl+V means
// something else there), Ctrl+V for everything else. Terminals are known by their window
// class; users add their own in the settings file under "terminalWindowClasses".
class PasteShortcutChooser
{
public:
    static const QStringList& defaultTerminalClasses();

    explicit PasteShortcutChooser(const QStringList& extraTerminalClasses = {});

    // windowClasses: the window's instance and class names, compared case-insensitively.
    PasteShortcut shortcutFor(const QStringList& windowClasses) const;

private:
    QStringList m_terminalClasses; // lower case
};

} // namespace brivet

#include "paste/PasteShortcutChooser.h"

namespace brivet {

const QStringList& PasteShortcutChooser::defaultTerminalClasses()
{
    static const QStringList classes{
        QStringLiteral("xterm"),
        QStringLiteral("uxterm"),
        QStringLiteral("URxvt"),
        QStringLiteral("rxvt"),
        QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"),
        QStringLiteral("kgx"),
        QStringLiteral("konsole"),
        QStringLiteral("kitty"),
        QStringLiteral("Alacritty"),
        QStringLiteral("foot"),
        QStringLiteral("footclient"),
        QStringLiteral("tilix"),
        QStringLiteral("xfce4-terminal"),
        QStringLiteral("terminator"),
        QStringLiteral("mate-terminal"),
        QStringLiteral("lxterminal"),
        QStringLiteral("qterminal"),
        QStringLiteral("terminology"),
        QStringLiteral("st-256color"),
        QStringLiteral("sakura"),
        QStringLiteral("guake"),
        QStringLiteral("tilda"),
        QStringLiteral("org.wezfurlong.wezterm"),
    };
    return classes;
}

PasteShortcutChooser::PasteShortcutChooser(const QStringList& extraTerminalClasses)
{
    for (const QStringList* list : {&defaultTerminalClasses(), &extraTerminalClasses}) {
        for (const QString& name : *list) {
            const QString key = name.trimmed().toLower();
            if (!key.isEmpty() && !m_terminalClasses.contains(key))
                m_terminalClasses.append(key);
        }
    }
}

PasteShortcut PasteShortcutChooser::shortcutFor(const QStringList& windowClasses) const
{
    for (const QString& name : windowClasses) {
        if (m_terminalClasses.contains(name.toLower()))
            return PasteShortcut::ControlShiftV;
    }
    return PasteShortcut::ControlV;
}

} // namespace brivet

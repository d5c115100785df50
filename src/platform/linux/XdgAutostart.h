#pragma once

#include "platform/LoginItemRegistry.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace brivet {

// Start at login through XDG autostart: the entry `brivet.desktop` in the user's autostart
// folder ($XDG_CONFIG_HOME/autostart), whose Exec is the absolute path of the running binary.
// The entry is read back on every question: one that is missing, hidden (Hidden=true), turned
// off for GNOME (X-GNOME-Autostart-enabled=false) or that starts another program than an
// executable named "brivet" reads as not registered.
class XdgAutostart : public LoginItemRegistry
{
public:
    // autostartDir: the folder of the entry; executablePath: what the entry starts.
    XdgAutostart(QString autostartDir, QString executablePath);

    // $XDG_CONFIG_HOME/autostart.
    static QString defaultAutostartDir();
    QString entryPath() const;

    bool isRegistered() const override;
    std::optional<QString> setRegistered(bool registered) override;

    // One argument as the Exec key of a desktop entry wants it: quoted where it holds reserved
    // characters, with field-code percent signs doubled.
    static QString quoteExecArgument(const QString& argument);
    // The arguments of an Exec value (after the key file's own escapes are undone);
    // std::nullopt for a value whose quoting is broken.
    static std::optional<QStringList> splitExec(const QString& exec);

private:
    QString m_autostartDir;
    QString m_executablePath;
};

} // namespace brivet

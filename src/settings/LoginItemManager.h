#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace brivet {

class LoginItemRegistry;

// Whether Brivet opens at login, for the settings' "Open at Login" toggle. Holds no state of
// its own: every read asks the desktop again. Main thread only.
class LoginItemManager : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the application delegate")
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setEnabled NOTIFY isEnabledChanged)
public:
    // registry may be null (a desktop without login items): never enabled, setting fails.
    explicit LoginItemManager(LoginItemRegistry* registry, QObject* parent = nullptr);

    bool isEnabled() const;
    // A failure prints "Failed to update login item: " and the reason on standard output and
    // changes nothing. isEnabledChanged follows every call, so a view reads the real state
    // back, also when it is not what the view asked for.
    void setEnabled(bool enabled);
    // Has views read isEnabled again: the entry may have changed outside Brivet.
    void refresh() { emit isEnabledChanged(); }

signals:
    void isEnabledChanged();

private:
    LoginItemRegistry* m_registry;
};

} // namespace brivet

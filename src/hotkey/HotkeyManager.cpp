#include "hotkey/HotkeyManager.h"

#include "hotkey/HotkeyLogging.h"
#include "hotkey/ShortcutRecorder.h"
#include "platform/GlobalHotkey.h"

#include <QSettings>
#include <QStringList>
#include <limits>
#include <optional>

namespace brivet {

namespace {

// A settings value as an unsigned 32-bit integer; std::nullopt for anything else (a negative
// number, a number too large, a text that is no number), which Brivet never writes.
std::optional<quint32> toUInt32(const QVariant& value)
{
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < 0 || number > qlonglong(std::numeric_limits<quint32>::max()))
        return std::nullopt;
    return quint32(number);
}

} // namespace

HotkeyManager::HotkeyManager(GlobalHotkey& globalHotkey, QSettings& settings, QObject* parent)
    : QObject(parent), m_globalHotkey(globalHotkey), m_settings(settings)
{}

HotkeyManager::~HotkeyManager()
{
    unregisterHotkey();
}

void HotkeyManager::loadSavedHotkey()
{
    if (!m_settings.contains(keyCodeSettingsKey()))
        return;
    const QVariant storedKeyCode = m_settings.value(keyCodeSettingsKey());
    const QVariant storedModifiers = m_settings.value(modifiersSettingsKey(), 0);
    const auto keyCode = toUInt32(storedKeyCode);
    const auto modifiers = toUInt32(storedModifiers);
    if (!keyCode || !modifiers) {
        qCWarning(lcHotkey) << "ignoring the stored hotkey" << storedKeyCode << storedModifiers
                            << "in" << m_settings.fileName() << "; keeping" << displayString();
        return;
    }
    setKeyCode(*keyCode);
    setModifiers(*modifiers);
}

void HotkeyManager::registerHotkey()
{
    unregisterHotkey();
    m_registration = m_globalHotkey.registerHotkey(m_keyCode, m_modifiers);
    if (m_registration) {
        qCInfo(lcHotkey).nospace() << "registered key code " << m_keyCode << " modifiers "
                                   << m_modifiers << " (" << displayString() << ")";
    } else {
        qCWarning(lcHotkey).nospace()
            << "could not register " << displayString() << " (key code " << m_keyCode
            << ", modifiers " << m_modifiers << "); the hotkey will not respond";
    }
}

void HotkeyManager::unregisterHotkey()
{
    if (!m_registration)
        return;
    m_globalHotkey.unregisterHotkey(*m_registration);
    m_registration.reset();
    qCDebug(lcHotkey) << "unregistered";
}

void HotkeyManager::updateHotkey(quint32 keyCode, quint32 modifiers)
{
    setKeyCode(keyCode);
    setModifiers(modifiers);
    registerHotkey();
    m_settings.setValue(keyCodeSettingsKey(), qlonglong(keyCode));
    m_settings.setValue(modifiersSettingsKey(), qlonglong(modifiers));
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError)
        qCWarning(lcHotkey) << "could not save the hotkey to" << m_settings.fileName();
}

QString HotkeyManager::displayString(quint32 keyCode, quint32 modifiers)
{
    QStringList parts;
    if (modifiers & HotkeyModifier::Control)
        parts << QStringLiteral("Ctrl");
    if (modifiers & HotkeyModifier::Alt)
        parts << QStringLiteral("Alt");
    if (modifiers & HotkeyModifier::Shift)
        parts << QStringLiteral("Shift");
    if (modifiers & HotkeyModifier::Super)
        parts << QStringLiteral("Super");
    parts << ShortcutRecorder::keyName(keyCode);
    return parts.join(QLatin1Char('+'));
}

void HotkeyManager::setKeyCode(quint32 keyCode)
{
    if (keyCode == m_keyCode)
        return;
    m_keyCode = keyCode;
    emit keyCodeChanged();
    emit displayStringChanged();
    emit shortcutChanged(shortcut());
}

void HotkeyManager::setModifiers(quint32 modifiers)
{
    if (modifiers == m_modifiers)
        return;
    m_modifiers = modifiers;
    emit modifiersChanged();
    emit displayStringChanged();
    emit shortcutChanged(shortcut());
}

} // namespace brivet

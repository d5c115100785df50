#pragma once

#include "platform/FrontApplication.h"
#include "platform/GlobalHotkey.h"
#include "platform/KeySynthesizer.h"
#include "platform/PanelSurface.h"
#include "platform/linux/DesktopEntries.h"

#include <memory>

namespace brivet {

class GnomeShellExtension;

// The application in front on GNOME, as the extension reports the focused window: named
// through its app_id's desktop file, else as the shell names it. Brivet's own windows (the
// panel) are not an application in front.
class GnomeFrontApplication : public FrontApplication
{
public:
    explicit GnomeFrontApplication(std::shared_ptr<GnomeShellExtension> shell);
    std::optional<ApplicationInfo> frontmostApplication() override;

private:
    std::shared_ptr<GnomeShellExtension> m_shell;
    DesktopEntries m_entries;
};

// The paste stroke on GNOME: the extension focuses the window and types the stroke with its
// virtual keyboard.
class GnomeKeySynthesizer : public KeySynthesizer
{
public:
    explicit GnomeKeySynthesizer(std::shared_ptr<GnomeShellExtension> shell);

    bool isAvailable() const override { return true; }
    std::optional<WindowId> activeWindow() const override;
    bool windowExists(WindowId window) const override;
    QStringList windowClasses(WindowId window) const override;
    bool requestActivation(WindowId window) override;
    bool sendShortcut(PasteShortcut shortcut) override;

private:
    std::shared_ptr<GnomeShellExtension> m_shell;
};

// The toggle shortcut on GNOME: a key binding of the extension, one at a time. Key codes are
// xkb key codes, as on any Wayland compositor.
class GnomeGlobalHotkey : public GlobalHotkey
{
    Q_OBJECT
public:
    explicit GnomeGlobalHotkey(std::shared_ptr<GnomeShellExtension> shell,
                               QObject* parent = nullptr);

    // The shell's words for a combination: "<Shift><Super>0x37" (the key by its xkb code).
    static std::optional<QString> accelerator(quint32 keyCode, quint32 modifiers);

    // Taken for granted once the extension has it; a refusal (the shell's own binding holds
    // the combination) is logged when the shell answers.
    std::optional<HotkeyRegistrationId> registerHotkey(quint32 keyCode, quint32 modifiers) override;
    void unregisterHotkey(HotkeyRegistrationId registration) override;
    std::optional<quint32> keyCodeForNativeScanCode(quint32 nativeScanCode) const override;

private:
    std::shared_ptr<GnomeShellExtension> m_shell;
    quint64 m_lastRegistration = 0;
};

// The panel on GNOME: an ordinary window without frame that the extension puts at the bottom
// of the monitor under the pointer, above the other windows, and focuses; its size is
// Brivet's, its place the shell's (a Wayland window cannot place itself, so there is no slide).
// The panel holds the keyboard while it has the focus; when another window takes it (a click
// elsewhere), keyboardTaken says so.
class GnomePanelSurface : public PanelSurface
{
    Q_OBJECT
public:
    explicit GnomePanelSurface(QObject* parent = nullptr);

    void makeOverlay(QWindow& window) override;
    void placeOverlay(QWindow& window, const QRect& geometry) override;
    void setShape(QWindow&, const QPainterPath&) override {}
    [[nodiscard]] bool grabKeyboard(QWindow& window) override;
    void releaseKeyboard(QWindow& window) override;
    [[nodiscard]] bool watchPresses() override { return false; }
    void stopWatchingPresses() override {}
    QScreen* activeScreen() const override;

private:
    void focusChanged(QWindow* focused);

    QWindow* m_keyboardHolder = nullptr;
};

} // namespace brivet

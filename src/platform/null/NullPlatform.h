#pragma once

#include "platform/FrontApplication.h"
#include "platform/GlobalHotkey.h"
#include "platform/KeySynthesizer.h"
#include "platform/PanelSurface.h"
#include "platform/Pasteboard.h"

namespace brivet {

// The facilities of a session that Brivet has no back end for: each does nothing and says so
// once, in its constructor, so that Brivet runs on with what still works (the history, the
// panel as an ordinary window, the settings, the command line).

// A clipboard that never changes and takes nothing.
class NullPasteboard : public Pasteboard
{
    Q_OBJECT
public:
    explicit NullPasteboard(QObject* parent = nullptr);
    qint64 changeCount() const override { return 0; }
    PasteboardContents contents() const override { return {}; }
    void clearContents() override {}
    void write(const QList<PasteboardRepresentation>&) override {}
    void writeIfUnowned(const QList<PasteboardRepresentation>&) override {}
};

class NullFrontApplication : public FrontApplication
{
public:
    NullFrontApplication();
    std::optional<ApplicationInfo> frontmostApplication() override { return std::nullopt; }
};

// Registers nothing; key codes are unknown.
class NullGlobalHotkey : public GlobalHotkey
{
    Q_OBJECT
public:
    explicit NullGlobalHotkey(QObject* parent = nullptr);
    std::optional<HotkeyRegistrationId> registerHotkey(quint32, quint32) override
    {
        return std::nullopt;
    }
    void unregisterHotkey(HotkeyRegistrationId) override {}
    std::optional<quint32> keyCodeForNativeScanCode(quint32) const override
    {
        return std::nullopt;
    }
};

// Sends no keys: a chosen item stays on the clipboard for the user to paste.
class NullKeySynthesizer : public KeySynthesizer
{
public:
    NullKeySynthesizer();
    bool isAvailable() const override { return false; }
    std::optional<WindowId> activeWindow() const override { return std::nullopt; }
    bool windowExists(WindowId) const override { return false; }
    QStringList windowClasses(WindowId) const override { return {}; }
    bool requestActivation(WindowId) override { return false; }
    bool sendShortcut(PasteShortcut) override { return false; }
};

// Ordinary frameless windows above the others, activated to take the keys; no presses
// elsewhere are seen, so the panel hides by key, shortcut or command only.
class NullPanelSurface : public PanelSurface
{
    Q_OBJECT
public:
    explicit NullPanelSurface(QObject* parent = nullptr);
    void makeOverlay(QWindow& window) override;
    void placeOverlay(QWindow& window, const QRect& geometry) override;
    void setShape(QWindow& window, const QPainterPath& outline) override;
    bool grabKeyboard(QWindow& window) override;
    void releaseKeyboard(QWindow&) override {}
    bool watchPresses() override { return false; }
    void stopWatchingPresses() override {}
    QScreen* activeScreen() const override;
};

} // namespace brivet

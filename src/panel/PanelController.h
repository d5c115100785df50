#pragma once

#include "paste/PasteService.h"
#include "paste/PasteStack.h"
#include "platform/GlobalHotkey.h"
#include "views/PanelKeyAction.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QVariantAnimation>
#include <memory>

class QQmlEngine;
class QQuickItem;
class QScreen;

namespace brivet {

class CategoryBarState;
class ClipboardPanelViewState;
class FloatingPanel;
class HistoryModel;
class ModelContainer;
class PanelHistory;
class PanelSurface;
class PreviewTextSource;

// Where the panel sits on a screen: along the bottom edge, 16 from the sides, 8 above the
// bottom, 22 % of the screen high; it slides in from just below the edge.
struct PanelGeometry
{
    QRect resting;
    QRect slideInStart;

    static PanelGeometry forScreen(const QRect& screen);
    // Where the slide-out of a panel at `current` ends: its height and 16 more below.
    static QRect slideOutEnd(const QRect& current);
};

// Owns the history panel: builds it and its view on the first show, slides it in and out
// along the bottom of the screen, hides it on a click elsewhere, hands the panel window's keys
// to the view, and pastes the chosen record into the window that was in front. Main thread
// only.
class PanelController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isVisible READ isVisible NOTIFY isVisibleChanged)
public:
    // surface shows the panel; keyCodes tells which physical key a key press is.
    PanelController(PanelSurface& surface, const GlobalHotkey& keyCodes, QObject* parent = nullptr);
    ~PanelController() override;

    // Show does nothing until a container is set.
    void setModelContainer(ModelContainer* container) { m_modelContainer = container; }
    ModelContainer* modelContainer() const { return m_modelContainer; }
    // Not owned; may go away.
    void setPasteService(PasteService* service);
    // The global shortcut's combination: pressed while the panel holds the keyboard, it
    // toggles the panel as the global shortcut does.
    void setToggleShortcut(const brivet::Shortcut& shortcut);

    bool isVisible() const { return m_isVisible; }
    // Builds the panel and its view ahead of the first show, so that it is as quick as a
    // later one; does nothing once built, or before a container is set.
    void prepare();
    void show();
    void hide();
    void toggle();
    // A click on the application's icon (the tray's): toggles, except right after a press
    // elsewhere hid the panel, as that press was this very click.
    void activate();

    // Null before the first show.
    FloatingPanel* panel() const { return m_panel.get(); }
    ClipboardPanelViewState* viewState() const { return m_viewState.get(); }

signals:
    void isVisibleChanged();
    void shown();
    void hidden();
    // The gear was pressed; the panel has hidden.
    void settingsRequested();
    // "Never Record from <App>" in a card's menu.
    void applicationIgnored(const QString& applicationId, const QString& applicationName);
    // The first frame of a slide-in is on screen, `elapsedNs` after show() was called.
    void firstFrameShown(qint64 elapsedNs);

private:
    bool createPanel(const QRect& contentRect);
    void pasteChosen(const ClipboardItem& item, PasteForm form);
    void pasteStackChosen(const QList<ClipboardItem>& items, PasteForm form);
    void openSettings();
    void returnKeyFocus();
    void place(const QRect& geometry);
    int shadowMargin() const;
    void applyLook();
    bool isPanelsOwn(QPoint position) const;
    void animateTo(int y, int durationMs, const QEasingCurve& curve, bool hideAtEnd);

    PanelSurface& m_surface;
    const GlobalHotkey& m_keyCodes;
    std::optional<Shortcut> m_toggleShortcut;
    ModelContainer* m_modelContainer = nullptr;
    QPointer<PasteService> m_pasteService;
    QPointer<PasteStack> m_pasteStack; // the service's
    bool m_isVisible = false;
    bool m_isWatchingPresses = false;

    // Built on the first show, in this order, and torn down in reverse.
    std::unique_ptr<HistoryModel> m_historyModel;
    std::unique_ptr<PanelHistory> m_history;
    std::unique_ptr<ClipboardPanelViewState> m_viewState;
    std::unique_ptr<CategoryBarState> m_categoryBar;
    std::unique_ptr<PreviewTextSource> m_previewTexts;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<FloatingPanel> m_panel;
    std::unique_ptr<QQuickItem> m_view;
    QVariantAnimation m_slide;
    QElapsedTimer m_showClock;
    QElapsedTimer m_sinceHiddenByPress;
    QRect m_place; // where the panel's outline was last put (its shadow lies around it)
    bool m_isWaitingForFirstFrame = false;
};

} // namespace brivet

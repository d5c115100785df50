#include "panel/PanelController.h"

#include "panel/FloatingPanel.h"
#include "panel/PanelLogging.h"
#include "paste/PasteService.h"
#include "platform/GlobalHotkey.h"
#include "platform/PanelSurface.h"
#include "store/ModelContainer.h"
#include "views/CategoryBarState.h"
#include "views/ClipboardPanelViewState.h"
#include "views/HistoryModel.h"
#include "views/HistoryModelPanelHistory.h"
#include "views/PanelImageProviders.h"
#include "views/PreviewTextSource.h"
#include "views/ThumbnailLoader.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QPalette>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QScreen>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <algorithm>

Q_IMPORT_QML_PLUGIN(Brivet_ViewsPlugin)

namespace brivet {

namespace {

constexpr int kSideMargin = 16;
constexpr int kBottomMargin = 8;
constexpr double kHeightRatio = 0.22;
constexpr int kSlideOutExtra = 16;
constexpr int kSlideInMs = 250;
constexpr int kSlideOutMs = 200;
constexpr int kPasteDelayMs = 300;
constexpr int kSettingsDelayMs = 250;
// A tray reports a click on its icon after the press that the panel saw: at its release, or
// once the tray's host has asked the program over D-Bus.
constexpr int kActivationAfterPressMs = 1000;
constexpr int kCornerRadius = 12;
// Room around the outline for the shadow, where a compositing manager draws it.
constexpr int kShadowMargin = 18;

// The platform's standard timing curves.
QEasingCurve easeOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

QEasingCurve easeIn()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0), QPointF(1, 1), QPointF(1, 1));
    return curve;
}

} // namespace

PanelGeometry PanelGeometry::forScreen(const QRect& screen)
{
    const int width = screen.width() - 2 * kSideMargin;
    const int height = int(screen.height() * kHeightRatio);
    const int x = screen.x() + kSideMargin;
    const int screenBottom = screen.y() + screen.height();
    return {QRect(x, screenBottom - kBottomMargin - height, width, height),
            QRect(x, screenBottom, width, height)};
}

QRect PanelGeometry::slideOutEnd(const QRect& current)
{
    return current.translated(0, current.height() + kSlideOutExtra);
}

PanelController::PanelController(PanelSurface& surface, const GlobalHotkey& keyCodes,
                                 QObject* parent)
    : QObject(parent), m_surface(surface), m_keyCodes(keyCodes)
{
    connect(&m_surface, &PanelSurface::pressed, this, [this](QPoint position) {
        if (m_isWatchingPresses && m_panel && !isPanelsOwn(position)) {
            m_sinceHiddenByPress.start();
            hide();
        }
    });
    connect(&m_surface, &PanelSurface::keyboardTaken, this, [this] {
        qCDebug(lcPanel) << "the keyboard went elsewhere";
        hide();
    });
    connect(&m_surface, &PanelSurface::compositingChanged, this, [this] {
        if (m_panel)
            applyLook();
    });
    connect(&m_slide, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        if (m_panel)
            place(QRect(QPoint(m_place.x(), value.toInt()), m_place.size()));
    });
}

PanelController::~PanelController()
{
    if (m_isWatchingPresses)
        m_surface.stopWatchingPresses();
    m_slide.stop();
    // The view's items before the window and the engine they live in.
    m_view.reset();
    m_panel.reset();
}

void PanelController::setToggleShortcut(const Shortcut& shortcut)
{
    m_toggleShortcut = shortcut;
    if (m_panel)
        m_panel->setToggleShortcut(shortcut);
}

void PanelController::toggle()
{
    if (m_isVisible)
        hide();
    else
        show();
}

void PanelController::activate()
{
    if (!m_isVisible && m_sinceHiddenByPress.isValid() &&
        m_sinceHiddenByPress.elapsed() < kActivationAfterPressMs) {
        m_sinceHiddenByPress.invalidate();
        qCDebug(lcPanel) << "activated by the click that hid the panel: it stays hidden";
        return;
    }
    toggle();
}

void PanelController::prepare()
{
    QScreen* screen = m_surface.activeScreen();
    if (m_panel || !screen || !m_modelContainer)
        return;
    QElapsedTimer clock;
    clock.start();
    const PanelGeometry geometry = PanelGeometry::forScreen(screen->geometry());
    if (!createPanel(QRect(QPoint(0, 0), geometry.resting.size())))
        return;
    // The window of the window system too, placed where the first show starts its slide.
    place(geometry.slideInStart);
    m_panel->create();
    qCDebug(lcPanel) << "prepared in" << clock.elapsed() << "ms";
}

void PanelController::show()
{
    QScreen* screen = m_surface.activeScreen();
    if (!screen || !m_modelContainer)
        return;
    m_showClock.start();
    const PanelGeometry geometry = PanelGeometry::forScreen(screen->geometry());
    if (!m_panel && !createPanel(QRect(QPoint(0, 0), geometry.resting.size())))
        return;

    // Before the panel takes the keyboard: the window in front now is where the paste goes.
    if (m_pasteService)
        m_pasteService->rememberFrontWindow();
    m_slide.stop(); // a slide-out still running no longer hides the panel
    m_panel->setScreen(screen);
    place(geometry.slideInStart);
    applyLook();
    m_isWaitingForFirstFrame = true;
    m_surface.showOverlay(*m_panel);
    m_panel->raise();
    m_panel->setHoldsKeyboard(true);
    m_viewState->setClockRunning(true);
    animateTo(geometry.resting.y(), kSlideInMs, easeOut(), false);

    m_isVisible = true;
    emit isVisibleChanged();
    emit shown();
    m_isWatchingPresses = m_surface.watchPresses();
    qCDebug(lcPanel) << "shown at" << geometry.resting << "on" << screen->name() << "drawn at scale"
                     << m_panel->devicePixelRatio();
}

void PanelController::hide()
{
    if (!m_isVisible || !m_panel)
        return;
    m_isVisible = false;
    emit isVisibleChanged();
    if (m_isWatchingPresses) {
        m_isWatchingPresses = false;
        m_surface.stopWatchingPresses();
    }
    // At once, not after the slide: the paste stroke must reach the window in front.
    m_panel->setHoldsKeyboard(false);
    m_viewState->setClockRunning(false);
    // The preview goes with the panel (a video in it stops at once).
    m_viewState->setQuickLookVisibleFromView(false);
    // Ctrl's release goes elsewhere once the keyboard is let go.
    m_viewState->setShowsQuickNumbers(false);
    animateTo(PanelGeometry::slideOutEnd(m_place).y(), kSlideOutMs, easeIn(), true);
    emit hidden();
    qCDebug(lcPanel) << "hidden";
}

// The slide goes on from where the panel was put, which a window without a position of its own
// in the window system (a Wayland layer surface) does not report.
void PanelController::place(const QRect& geometry)
{
    m_place = geometry;
    const int margin = shadowMargin();
    m_surface.placeOverlay(*m_panel,
                           geometry.marginsAdded(QMargins(margin, margin, margin, margin)));
}

int PanelController::shadowMargin() const
{
    return m_surface.isCompositing() ? kShadowMargin : 0;
}

// Blended with the desktop where a compositing manager runs (a translucent background, corners
// that show what lies below, a shadow around), opaque and cut to its outline elsewhere.
void PanelController::applyLook()
{
    const bool isTranslucent = m_surface.isCompositing();
    const int margin = shadowMargin();
    m_panel->setColor(isTranslucent ? QColor(Qt::transparent)
                                    : QGuiApplication::palette().color(QPalette::Window));
    m_view->setProperty("isTranslucent", isTranslucent);
    m_view->setPosition(QPointF(margin, margin));
    m_view->setSize(m_place.size());
    place(m_place);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(QPointF(margin, margin), m_place.size()), kCornerRadius,
                           kCornerRadius);
    m_surface.setShape(*m_panel, outline);
}

// Clicks inside the panel's outline, or inside a window it opened above itself (a popover),
// are the panel's own.
bool PanelController::isPanelsOwn(QPoint position) const
{
    if (m_place.contains(position))
        return true;
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.begin(), windows.end(), [&](const QWindow* window) {
        return window->isVisible() && window->transientParent() == m_panel.get() &&
               m_surface.overlayGeometry(*window).contains(position);
    });
}

void PanelController::animateTo(int y, int durationMs, const QEasingCurve& curve, bool hideAtEnd)
{
    m_slide.stop();
    disconnect(&m_slide, &QVariantAnimation::finished, nullptr, nullptr);
    m_slide.setStartValue(m_place.y());
    m_slide.setEndValue(y);
    m_slide.setDuration(durationMs);
    m_slide.setEasingCurve(curve);
    if (hideAtEnd) {
        connect(&m_slide, &QVariantAnimation::finished, m_panel.get(),
                [this] { m_surface.hideOverlay(*m_panel); });
    } else {
        connect(&m_slide, &QVariantAnimation::finished, m_panel.get(),
                [this] { qCDebug(lcPanel) << "at rest at" << m_place; });
    }
    m_slide.start();
}

bool PanelController::createPanel(const QRect& contentRect)
{
    QElapsedTimer clock;
    clock.start();
    if (QQuickStyle::name().isEmpty())
        QQuickStyle::setStyle(QStringLiteral("Fusion"));

    m_historyModel = std::make_unique<HistoryModel>(*m_modelContainer);
    m_history = std::make_unique<HistoryModelPanelHistory>(*m_historyModel);
    m_viewState = std::make_unique<ClipboardPanelViewState>(*m_history, m_historyModel.get());
    connect(m_viewState.get(), &ClipboardPanelViewState::itemChosen, this,
            &PanelController::pasteChosen);
    connect(m_viewState.get(), &ClipboardPanelViewState::itemsChosen, this,
            &PanelController::pasteStackChosen);
    connect(m_viewState.get(), &ClipboardPanelViewState::dismissRequested, this,
            &PanelController::hide);
    connect(m_viewState.get(), &ClipboardPanelViewState::settingsRequested, this,
            &PanelController::openSettings);
    connect(m_viewState.get(), &ClipboardPanelViewState::keyFocusReturned, this,
            &PanelController::returnKeyFocus);
    connect(m_viewState.get(), &ClipboardPanelViewState::applicationIgnored, this,
            &PanelController::applicationIgnored);
    connect(this, &PanelController::shown, m_viewState.get(), &ClipboardPanelViewState::reset);
    m_categoryBar =
        std::make_unique<CategoryBarState>(m_modelContainer->mainContext(), *m_viewState);

    m_engine = std::make_unique<QQmlEngine>();
    m_engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    auto pictures = std::make_shared<ThumbnailLoader>(m_modelContainer->path());
    m_previewTexts = std::make_unique<PreviewTextSource>(pictures);
    m_engine->addImageProvider(QStringLiteral("thumbnail"), new ThumbnailImageProvider(pictures));
    m_engine->addImageProvider(QStringLiteral("symbol"), new SymbolImageProvider);
    m_engine->addImageProvider(QStringLiteral("fileicon"), new FileIconImageProvider);
    m_engine->addImageProvider(QStringLiteral("filepicture"), new FilePictureImageProvider);

    m_panel = std::make_unique<FloatingPanel>(contentRect, m_surface, m_keyCodes);
    if (m_toggleShortcut)
        m_panel->setToggleShortcut(*m_toggleShortcut);
    connect(m_panel.get(), &FloatingPanel::keyRouted, m_viewState.get(),
            &ClipboardPanelViewState::handleKey);
    connect(m_panel.get(), &FloatingPanel::commandKeyHeld, m_viewState.get(),
            &ClipboardPanelViewState::setShowsQuickNumbers);
    // While the panel holds the keyboard the desktop never sees the shortcut: the panel
    // reports it, and it toggles in a turn of its own, after the presses before it.
    connect(
        m_panel.get(), &FloatingPanel::toggleRequested, this,
        [this] {
            qCInfo(lcPanel) << "hotkey pressed while the panel holds the keyboard";
            toggle();
        },
        Qt::QueuedConnection);
    connect(m_panel.get(), &QQuickWindow::frameSwapped, this, [this] {
        if (!m_isWaitingForFirstFrame)
            return;
        m_isWaitingForFirstFrame = false;
        const qint64 elapsed = m_showClock.nsecsElapsed();
        qCDebug(lcPanel).nospace() << "first frame after " << elapsed / 1000 << " us";
        emit firstFrameShown(elapsed);
    });

    QQmlComponent component(
        m_engine.get(), QUrl(QStringLiteral("qrc:/qt/qml/Brivet/Views/ClipboardPanelView.qml")));
    // Creating from a component that did not load crashes in Qt.
    if (component.isError()) {
        qCCritical(lcPanel).noquote()
            << "the panel view could not be built:" << component.errorString();
        m_panel.reset();
        return false;
    }
    QObject* object = component.createWithInitialProperties(
        {{QStringLiteral("viewState"), QVariant::fromValue(m_viewState.get())},
         {QStringLiteral("categoryBar"), QVariant::fromValue(m_categoryBar.get())},
         {QStringLiteral("previewTextSource"), QVariant::fromValue(m_previewTexts.get())}});
    auto* view = qobject_cast<QQuickItem*>(object);
    if (!view) {
        qCCritical(lcPanel).noquote()
            << "the panel view could not be built:" << component.errorString();
        delete object;
        m_panel.reset();
        return false;
    }
    m_view.reset(view);
    view->setParentItem(m_panel->contentItem());
    m_place = contentRect;
    applyLook();
    qCDebug(lcPanel) << "panel built in" << clock.elapsed() << "ms";
    return true;
}

void PanelController::pasteChosen(const ClipboardItem& item, PasteForm form)
{
    hide();
    QTimer::singleShot(kPasteDelayMs, this, [this, item, form] {
        if (!m_pasteService)
            return;
        if (form == PasteForm::PlainText)
            m_pasteService->pastePlainText(item);
        else
            m_pasteService->paste(item);
    });
}

void PanelController::pasteStackChosen(const QList<ClipboardItem>& items, PasteForm form)
{
    hide();
    QTimer::singleShot(kPasteDelayMs, this, [this, items, form] {
        if (m_pasteStack)
            m_pasteStack->paste(items, form == PasteForm::PlainText);
    });
}

void PanelController::setPasteService(PasteService* service)
{
    m_pasteService = service;
    // Lives as long as the service it drives.
    m_pasteStack = service ? new PasteStack(*service, service) : nullptr;
}

void PanelController::openSettings()
{
    hide();
    QTimer::singleShot(kSettingsDelayMs, this, &PanelController::settingsRequested);
}

void PanelController::returnKeyFocus()
{
    if (m_panel)
        m_panel->contentItem()->forceActiveFocus();
}

} // namespace brivet

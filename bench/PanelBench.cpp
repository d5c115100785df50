// The history panel on a generated history, in a real Qt Quick window on the X server of
// $DISPLAY (run under xvfb-run with QT_QUICK_BACKEND=software), or with --wayland as a layer
// surface of the Wayland compositor of $WAYLAND_DISPLAY (sway). Prints figures; asserts none.
//   brivet_panel_bench [--wayland] [--count N] [Google Benchmark flags]   show and key figures
//   brivet_panel_bench --memory panel|bare [--count N]         resident memory, one process each
#include "HistoryGenerator.h"
#include "panel/FloatingPanel.h"
#include "panel/PanelController.h"
#include "platform/wayland/WaylandGlobalHotkey.h"
#include "platform/wayland/WaylandPanelSurface.h"
#include "platform/x11/X11GlobalHotkey.h"
#include "platform/x11/X11PanelSurface.h"
#include "store/ModelContainer.h"
#include "views/ClipboardPanelViewState.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QQmlComponent>
#include <QQuickItem>
#include <QQuickView>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <vector>

using namespace brivet;

namespace {

int g_count = 100'000;
QString g_storePath;
bool g_wayland = false;

// X11 key codes of Right and Left (evdev + 8).
constexpr quint32 kRight = 114;
constexpr quint32 kLeft = 113;

bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

struct Panel
{
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<PanelSurface> surface;
    std::unique_ptr<GlobalHotkey> keyCodes;
    std::unique_ptr<PanelController> controller;
    qint64 lastFirstFrameNs = -1;

    Panel()
    {
        auto created = ModelContainer::create(g_storePath);
        container = std::move(std::get<std::unique_ptr<ModelContainer>>(created));
        if (g_wayland) {
            surface = std::make_unique<WaylandPanelSurface>();
            keyCodes = std::make_unique<WaylandGlobalHotkey>();
        } else {
            surface = std::make_unique<X11PanelSurface>();
            keyCodes = std::make_unique<X11GlobalHotkey>();
        }
        controller = std::make_unique<PanelController>(*surface, *keyCodes);
        controller->setModelContainer(container.get());
        QObject::connect(controller.get(), &PanelController::firstFrameShown,
                         [this](qint64 ns) { lastFirstFrameNs = ns; });
    }
    ~Panel() { controller.reset(); }

    // Show, and the time to the first frame of the slide-in.
    double showMs()
    {
        lastFirstFrameNs = -1;
        controller->show();
        waitFor([this] { return lastFirstFrameNs >= 0; });
        return lastFirstFrameNs / 1e6;
    }
    void hideAndSettle()
    {
        controller->hide();
        waitFor([this] { return !controller->panel()->isVisible(); });
    }
    void press(quint32 x11KeyCode)
    {
        QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, x11KeyCode, 0, 0);
        QCoreApplication::sendEvent(controller->panel(), &event);
    }
};

void panelFirstShow(benchmark::State& state)
{
    for (auto _ : state) {
        Panel panel;
        state.SetIterationTime(panel.showMs() / 1000);
    }
    state.counters["records"] = g_count;
}

// The first show after start, with the panel built in the background after launch, as the
// application does.
void panelFirstShowPrepared(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Panel panel;
        panel.controller->prepare();
        waitFor([] { return false; }, 300);
        state.ResumeTiming();
        state.SetIterationTime(panel.showMs() / 1000);
    }
    state.counters["records"] = g_count;
}

void panelLaterShow(benchmark::State& state)
{
    Panel panel;
    panel.showMs();
    waitFor([] { return false; }, 400);
    for (auto _ : state) {
        state.PauseTiming();
        panel.hideAndSettle();
        state.ResumeTiming();
        state.SetIterationTime(panel.showMs() / 1000);
    }
    state.counters["records"] = g_count;
}

// One arrow key to the next frame on screen, alternating Right and Left so that every key
// changes the picture.
void keyToNextFrame(benchmark::State& state)
{
    Panel panel;
    panel.showMs();
    waitFor([] { return false; }, 400);
    FloatingPanel* window = panel.controller->panel();
    bool swapped = false;
    QObject::connect(window, &QQuickWindow::frameSwapped, [&swapped] { swapped = true; });
    std::vector<double> times;
    bool right = true;
    for (auto _ : state) {
        // Let the previous change finish drawing.
        waitFor([] { return false; }, 30);
        swapped = false;
        QElapsedTimer clock;
        clock.start();
        panel.press(right ? kRight : kLeft);
        waitFor([&swapped] { return swapped; });
        const double seconds = clock.nsecsElapsed() / 1e9;
        times.push_back(seconds * 1000);
        state.SetIterationTime(seconds);
        right = !right;
    }
    std::sort(times.begin(), times.end());
    state.counters["median_ms"] = times.empty() ? 0 : times[times.size() / 2];
    state.counters["records"] = g_count;
}

QQuickItem* findListView(QQuickItem* item)
{
    if (item->inherits("QQuickListView"))
        return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* found = findListView(child))
            return found;
    return nullptr;
}

// 200 Right presses at once: all applied, in order, and the selected card in view at the end.
void burstOf200Right(benchmark::State& state)
{
    Panel panel;
    panel.showMs();
    ClipboardPanelViewState* view = panel.controller->viewState();
    QQuickItem* strip = findListView(panel.controller->panel()->contentItem());
    int lastIndex = 0;
    bool inOrder = true;
    QObject::connect(view, &ClipboardPanelViewState::selectedIndexChanged, [&] {
        inOrder = inOrder && view->selectedIndex() == lastIndex + 1;
        lastIndex = view->selectedIndex();
    });
    bool inView = false;
    for (auto _ : state) {
        state.PauseTiming();
        view->reset();
        lastIndex = 0;
        inOrder = true;
        state.ResumeTiming();
        for (int i = 0; i < 200; ++i)
            panel.press(kRight);
        waitFor([&] { return view->selectedIndex() == 200; });
        // The strip's slide to the selected card.
        waitFor([] { return false; }, 300);
        const double cardWidth = strip->property("cardWidth").toDouble();
        const double cardX = 16 + 200 * (cardWidth + 8);
        const double left = strip->property("contentX").toDouble();
        inView = cardX >= left && cardX + cardWidth <= left + strip->width();
    }
    state.counters["final_index"] = view->selectedIndex();
    state.counters["in_order"] = inOrder;
    state.counters["selected_in_view"] = inView;
}

// Resident memory a moment after the first frame.
int measureMemory(const QString& mode)
{
    std::unique_ptr<Panel> panel;
    std::unique_ptr<QQuickView> bare;
    if (mode == QLatin1String("panel")) {
        panel = std::make_unique<Panel>();
        panel->showMs();
    } else {
        bare = std::make_unique<QQuickView>();
        bare->setFlags(Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
        bare->setGeometry(16, 600, 1248, 176);
        bare->setResizeMode(QQuickView::SizeRootObjectToView);
        bare->setSource(QUrl(QStringLiteral("data:text/plain,")));
        QQmlComponent component(bare->engine());
        component.setData("import QtQuick\n"
                          "ListView { orientation: ListView.Horizontal; spacing: 8;"
                          " model: " +
                              QByteArray::number(g_count) +
                              "; delegate: Rectangle { width: 160; height: 150; radius: 10;"
                              " color: '#eee'; Text { text: index } } }",
                          QUrl());
        auto* root = qobject_cast<QQuickItem*>(component.create());
        root->setParentItem(bare->contentItem());
        root->setSize(QSizeF(1248, 176));
        bool swapped = false;
        QObject::connect(bare.get(), &QQuickWindow::frameSwapped, [&swapped] { swapped = true; });
        bare->show();
        waitFor([&swapped] { return swapped; });
    }
    waitFor([] { return false; }, 1000);
    std::printf("%s window, %d records: resident memory %.1f MB\n", qPrintable(mode), g_count,
                bench::residentMemory() / (1024.0 * 1024.0));
    return 0;
}

} // namespace

BENCHMARK(panelFirstShow)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(panelFirstShowPrepared)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(panelLaterShow)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(keyToNextFrame)->UseManualTime()->Iterations(100)->Unit(benchmark::kMillisecond);
BENCHMARK(burstOf200Right)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char* argv[])
{
    g_wayland = std::any_of(argv + 1, argv + argc,
                            [](const char* arg) { return qstrcmp(arg, "--wayland") == 0; });
    qputenv("QT_QPA_PLATFORM", g_wayland ? "wayland" : "xcb");
    // The panel's window gets no role from Qt there: the layer role is Brivet's.
    if (g_wayland)
        qputenv("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT", "1");
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    QApplication app(argc, argv);
    QString memoryMode;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--wayland"))
            continue;
        if (arg == QLatin1String("--count") && i + 1 < argc)
            g_count = QString::fromLocal8Bit(argv[++i]).toInt();
        else if (arg == QLatin1String("--memory") && i + 1 < argc)
            memoryMode = QString::fromLocal8Bit(argv[++i]);
        else
            rest.push_back(argv[i]);
    }
    const QString folder =
        qEnvironmentVariable("BRIVET_BENCH_DATA", QDir::currentPath() + "/bench-data");
    QDir().mkpath(folder);
    g_storePath = folder + QStringLiteral("/panel-%1.sqlite").arg(g_count);
    if (memoryMode != QLatin1String("bare") && !bench::ensureHistory(g_storePath, g_count))
        return 1;
    if (!memoryMode.isEmpty())
        return measureMemory(memoryMode);
    int restCount = int(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

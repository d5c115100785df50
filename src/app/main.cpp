#include "app/AppDelegate.h"
#include "app/BrivetApp.h"
#include "app/CommandLine.h"
#include "app/Translations.h"
#include "app/UnixSignalWatcher.h"
#include "platform/InstanceChannel.h"
#include "platform/Platform.h"
#include "platform/linux/DesktopColorScheme.h"
#include "platform/linux/DesktopSession.h"
#include "store/ModelContainer.h"
#include "views/DarkPalette.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <cstdio>

namespace {

// Says why a command did not reach the running Brivet; the process's exit status.
int reportUndelivered(brivet::InstanceChannel::Delivery delivery,
                      const brivet::InstanceChannel& channel)
{
    if (delivery == brivet::InstanceChannel::Delivery::NotRunning)
        std::fprintf(stderr, "Brivet is not running. Start it with: brivet\n");
    else
        std::fprintf(stderr, "brivet: %s\n", qPrintable(channel.error()));
    return 1;
}

// Sends one command to the running Brivet; the process's exit status.
int sendCommand(int argc, char* argv[], brivet::InstanceCommand command, int minutes)
{
    QCoreApplication app(argc, argv);
    auto channel = brivet::createInstanceChannel();
    const auto delivery = channel->send(command, minutes);
    return delivery == brivet::InstanceChannel::Delivery::Delivered
               ? 0
               : reportUndelivered(delivery, *channel);
}

// Has the running Brivet export or import a history archive; the process's exit status.
int sendArchive(int argc, char* argv[], const brivet::CommandLine& commandLine)
{
    QCoreApplication app(argc, argv);
    auto channel = brivet::createInstanceChannel();
    brivet::HistoryArchiveRequests::Answer answer;
    // The running Brivet has a working directory of its own.
    const QString path = QFileInfo(commandLine.archivePath).absoluteFilePath();
    const auto delivery = channel->sendArchive(commandLine.archiveAction, path, &answer);
    if (delivery != brivet::InstanceChannel::Delivery::Delivered)
        return reportUndelivered(delivery, *channel);
    std::fprintf(answer.ok ? stdout : stderr, "%s\n", qPrintable(answer.message));
    return answer.ok ? 0 : 1;
}

// Brivet draws and pastes through X11, and keeps the clipboard natively on Wayland compositors
// that allow a clipboard manager. Elsewhere on Wayland it runs through XWayland. Says what does
// not work; false when it cannot run at all (the reason has been printed).
bool checkDisplay(const brivet::DesktopSession& session, brivet::Platform::Kind kind)
{
    if (kind == brivet::Platform::Kind::Null && !session.qtPlatform.isEmpty())
        return true; // the user's choice of Qt platform: Brivet runs without a back end there
    const QString desktop = session.desktopName.isEmpty()
                                ? QString()
                                : QStringLiteral(" (%1)").arg(session.desktopName);
    if (kind == brivet::Platform::Kind::Wayland) {
        std::fprintf(stderr,
                     "This is a Wayland session%s: Brivet records and restores the clipboard "
                     "natively, and pastes, tells which application copied and slides the "
                     "panel up from the bottom edge where the compositor allows it; the "
                     "global shortcut goes through the desktop's GlobalShortcuts portal where "
                     "it has one, elsewhere bind `brivet --toggle` to a shortcut in your "
                     "compositor's settings (the Shortcuts tab of the settings says how).\n",
                     qPrintable(desktop));
        return true;
    }
    if (kind == brivet::Platform::Kind::Gnome) {
        std::fprintf(stderr, "This is GNOME on Wayland: Brivet records, restores and pastes the "
                             "clipboard and shows its panel through its GNOME Shell extension.\n");
        return true;
    }
    if (session.isWayland && session.isGnome) {
        std::fprintf(stderr,
                     "Brivet's GNOME Shell extension is not running: GNOME Shell lets Brivet see "
                     "the clipboard only through it. Enable it with `gnome-extensions enable "
                     "brivet@brivet.com` (or in the Extensions application), log out and in "
                     "again, and restart Brivet.\n");
    }
    if (session.isWayland && !session.hasX11) {
        std::fprintf(stderr,
                     "Brivet needs an X server: this is a Wayland session%s without XWayland "
                     "(DISPLAY is not set).\nTurn XWayland on, or log in to an X11 session.\n",
                     qPrintable(desktop));
        return false;
    }
    if (session.isWayland) {
        std::fprintf(stderr,
                     "This is a Wayland session%s: Brivet runs through XWayland, where two things "
                     "do not work:\n"
                     "- the global shortcut only works while an X11 window has the focus: bind "
                     "`brivet --toggle` to a shortcut in your desktop's keyboard settings;\n"
                     "- pasting into native Wayland windows: the chosen item is put on the "
                     "clipboard, paste it there with Ctrl+V.\n",
                     qPrintable(desktop));
        return true;
    }
    if (!session.hasX11) {
        std::fprintf(stderr, "Brivet needs an X11 desktop session: DISPLAY is not set.\n"
                             "Start it from a desktop session, or under Xvfb for testing.\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const brivet::CommandLine commandLine = brivet::CommandLine::parse(arguments);
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "brivet: %s\nTry 'brivet --help'.\n", qPrintable(commandLine.error));
        return 2;
    }
    switch (commandLine.action) {
    case brivet::CommandLine::Action::Help:
        std::fputs(qPrintable(brivet::CommandLine::usage()), stdout);
        return 0;
    case brivet::CommandLine::Action::Version:
        std::printf("Brivet %s\n", BRIVET_VERSION);
        return 0;
    case brivet::CommandLine::Action::Send:
        return sendCommand(argc, argv, commandLine.command, commandLine.minutes);
    case brivet::CommandLine::Action::Archive:
        return sendArchive(argc, argv, commandLine);
    case brivet::CommandLine::Action::Run:
        break;
    }

    const auto session =
        brivet::DesktopSession::detect(QProcessEnvironment::systemEnvironment());
    const brivet::Platform::Kind platformKind = brivet::Platform::kindFor(session);
    if (!checkDisplay(session, platformKind))
        return 1;
    if (const QByteArray qtPlatform = brivet::Platform::qtPlatformFor(platformKind);
        !qtPlatform.isEmpty())
        qputenv("QT_QPA_PLATFORM", qtPlatform);
    // The panel's window gets a Wayland surface without a role, which the back end makes a
    // layer surface.
    if (platformKind == brivet::Platform::Kind::Wayland)
        qputenv("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT", "1");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brivet"));
    QApplication::setApplicationVersion(QStringLiteral(BRIVET_VERSION));
    QApplication::setOrganizationName(QStringLiteral("brivet"));
    QApplication::setDesktopFileName(QStringLiteral("com.brivet.Brivet"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("com.brivet.Brivet"),
                         QIcon(QStringLiteral(":/brivet/com.brivet.Brivet.svg"))));
    QApplication::setQuitOnLastWindowClosed(false);
    brivet::installTranslations(app);
    if (brivet::desktopPrefersDarkColors(
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
            qEnvironmentVariable("GTK_THEME")))
        QApplication::setPalette(brivet::darkPalette());

    auto channel = brivet::createInstanceChannel();
    switch (channel->claim()) {
    case brivet::InstanceChannel::Claim::Claimed:
        break;
    case brivet::InstanceChannel::Claim::AlreadyRunning:
        std::printf("Brivet is already running.\n");
        return 0;
    case brivet::InstanceChannel::Claim::Unavailable:
        std::fprintf(stderr,
                     "brivet: %s; `brivet --toggle` and the other options cannot reach this "
                     "Brivet.\n",
                     qPrintable(channel->error()));
        break;
    }

    brivet::AppDelegate delegate(brivet::ModelContainer::defaultStorePath(),
                                 brivet::AppDelegate::defaultSettingsPath(),
                                 brivet::createPlatform(session));
    brivet::BrivetApp brivetApp(delegate);
    // Commands arrive from the event loop, so none is missed before this.
    QObject::connect(channel.get(), &brivet::InstanceChannel::commandReceived, &brivetApp,
                     &brivet::BrivetApp::perform);
    brivet::UnixSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &brivet::UnixSignalWatcher::terminationRequested, &app,
                     &QCoreApplication::quit);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     &brivet::AppDelegate::terminate);

    if (const auto error = delegate.launch()) {
        std::fprintf(stderr, "Could not create ModelContainer: %s\n", qPrintable(*error));
        return 1;
    }
    channel->setArchiveRequests(delegate.historyTransfer());
    brivetApp.addSyncSettings();
    brivetApp.addHistorySettings();
    brivetApp.showTray();
    return app.exec();
}

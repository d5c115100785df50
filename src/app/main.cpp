#include "app/AppDelegate.h"
#include "app/UnixSignalWatcher.h"
#include "platform/Platform.h"
#include "platform/linux/DesktopColorScheme.h"
#include "store/ModelContainer.h"
#include "views/DarkPalette.h"

#include <QApplication>
#include <QStandardPaths>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariable("QT_QPA_PLATFORM") != "offscreen") {
        std::fprintf(stderr, "Brivet needs an X11 desktop session: DISPLAY is not set.\n"
                             "Start it from a desktop session, or under Xvfb for testing.\n");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brivet"));
    QApplication::setOrganizationName(QStringLiteral("brivet"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (brivet::desktopPrefersDarkColors(
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
            qEnvironmentVariable("GTK_THEME")))
        QApplication::setPalette(brivet::darkPalette());

    brivet::AppDelegate delegate(brivet::ModelContainer::defaultStorePath(),
                                 brivet::AppDelegate::defaultSettingsPath(),
                                 brivet::createPlatform());
    brivet::UnixSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &brivet::UnixSignalWatcher::terminationRequested, &app,
                     &QCoreApplication::quit);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     &brivet::AppDelegate::applicationWillTerminate);

    delegate.applicationDidFinishLaunching();
    return app.exec();
}

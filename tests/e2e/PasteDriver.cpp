// The real paste path in place of the panel, for the end-to-end tests: the session's platform
// (X11, or Wayland where the compositor allows a clipboard manager), a
// real store, a running ClipboardMonitor and the PasteService. Each stdin line is a JSON record
// to paste ({"kind", "text", "url", "path", "imageFile", "target": <window id>}) or {"poll": true};
// progress goes to stdout, a line per event.

#include "capture/ClipboardMonitor.h"
#include "paste/PasteService.h"
#include "platform/Platform.h"
#include "platform/linux/DesktopSession.h"
#include "store/ModelContainer.h"

#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

using namespace brivet;

namespace {

void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

ClipboardItem parseRecord(const QJsonObject& object)
{
    const auto field = [&](const char* name) {
        const QJsonValue value = object.value(QLatin1String(name));
        return value.isString() ? std::optional(value.toString()) : std::nullopt;
    };
    ClipboardItemContent content;
    content.contentType = object.value("kind").toString();
    content.textContent = field("text");
    content.urlString = field("url");
    content.filePath = field("path");
    if (auto imageFile = field("imageFile")) {
        QFile file(*imageFile);
        if (file.open(QIODevice::ReadOnly))
            content.imageData = file.readAll();
    }
    return ClipboardItem(content);
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"store", "The history database.", "path"});
    parser.addOption({"resume-delay", "Milliseconds from the stroke to the resume.", "ms"});
    parser.process(app);

    auto container = ModelContainer::create(parser.value("store"));
    if (auto* error = std::get_if<QString>(&container)) {
        say("error: " + *error);
        return 2;
    }
    ModelContainer& store = *std::get<std::unique_ptr<ModelContainer>>(container);

    Platform platform =
        createPlatform(DesktopSession::detect(QProcessEnvironment::systemEnvironment()));
    if (platform.kind != Platform::Kind::X11 && platform.kind != Platform::Kind::Wayland) {
        say("error: no X11 session, and no Wayland compositor that allows a clipboard manager");
        return 2;
    }

    ClipboardMonitor monitor(
        store.mainContext(), *platform.pasteboard, *platform.frontApplication,
        std::shared_ptr<const FileThumbnailer>(std::move(platform.fileThumbnailer)));
    monitor.startMonitoring();
    PasteService::Timing timing;
    timing.resumeDelay = std::chrono::milliseconds(parser.value("resume-delay").toInt());
    PasteService service(platform.pasteboard.get(), platform.keySynthesizer.get(),
                         weakMonitorLink(&monitor), timing);
    service.setManualPasteNotifier(platform.notifier.get());
    QObject::connect(&service, &PasteService::pasteFinished, [] { say("paste finished"); });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, count);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.contains("poll")) {
                monitor.checkForChanges(); // a read it starts is recorded before later changes
                say("polled");
                continue;
            }
            const QJsonValue target = object.value("target");
            service.setTargetWindow(target.isDouble() ? std::optional(WindowId(target.toDouble()))
                                                      : std::nullopt);
            service.paste(parseRecord(object));
            say("pasted");
        }
    });

    say("ready");
    const int status = app.exec();
    monitor.stopMonitoring();
    return status;
}

// brivet_sync_unlock SETTINGS FOLDER: reads a passphrase on standard input and sets a Brivet
// settings file up to sync through FOLDER, as the settings window does. For scripts that drive
// real instances (scripts/sync-e2e.py).
#include "store/ModelContainer.h"
#include "sync/SyncService.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SETTINGS FOLDER < passphrase\n", argv[0]);
        return 2;
    }
    const QString passphrase = QTextStream(stdin).readLine();
    QTemporaryDir scratch;
    auto created = brivet::ModelContainer::create(scratch.filePath(QStringLiteral("scratch.sqlite")));
    auto* container = std::get_if<std::unique_ptr<brivet::ModelContainer>>(&created);
    if (!container) {
        std::fprintf(stderr, "%s\n", qPrintable(std::get<QString>(created)));
        return 1;
    }
    QSettings settings(QString::fromLocal8Bit(argv[1]), QSettings::IniFormat);
    brivet::SyncService service((*container)->mainContext(), scratch.path(), settings);
    service.chooseFolder(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[2])));
    QEventLoop loop;
    QObject::connect(&service, &brivet::SyncService::busyChanged, &loop, [&] {
        if (!service.isBusy())
            loop.quit();
    });
    service.setPassphrase(passphrase);
    loop.exec();
    if (!service.isActive()) {
        std::fprintf(stderr, "%s\n", qPrintable(service.message()));
        return 1;
    }
    return 0;
}

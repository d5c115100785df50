#include "HistoryGenerator.h"

#include "store/ModelContainer.h"

#include <QFile>
#include <QRandomGenerator>
#include <cstdio>
#include <unistd.h>

namespace brivet::bench {
namespace {

QByteArray randomBytes(QRandomGenerator& random, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QString words(QRandomGenerator& random, int length)
{
    static const char* const vocabulary[] = {"clip",  "board", "history",  "paste", "copy",
                                             "the",   "quick", "brown",    "fox",   "lorem",
                                             "ipsum", "panel", "shortcut", "record"};
    QString text;
    text.reserve(length + 16);
    while (text.size() < length)
        text += QLatin1String(vocabulary[random.bounded(int(std::size(vocabulary)))]) + ' ';
    return text.left(length);
}

ClipboardItem makeItem(QRandomGenerator& random, const QDateTime& when)
{
    ClipboardItemContent content;
    content.sourceAppName = "Text Editor";
    content.sourceAppBundleID = "org.gnome.TextEditor";
    const int kind = random.bounded(100);
    if (kind < 60) {
        content.contentType = "text";
        content.textContent = words(random, 50 + random.bounded(2000));
    } else if (kind < 80) {
        content.contentType = "link";
        const QString url = "https://example.com/" + words(random, 40).replace(' ', '/');
        content.textContent = url;
        content.urlString = url;
    } else if (kind < 92) {
        content.contentType = "image";
        content.imageData = randomBytes(random, 8192 + random.bounded(40960));
        content.thumbnailData = randomBytes(random, 4096);
    } else {
        content.contentType = "file";
        content.filePath =
            "/home/user/Documents/report-" + QString::number(random.generate()) + ".pdf";
        content.fileName = content.filePath->section('/', -1);
        content.fileData = randomBytes(random, 1024 + random.bounded(15360));
        content.thumbnailData = randomBytes(random, 4096);
    }
    return ClipboardItem(content, when);
}

} // namespace

bool ensureHistory(const QString& path, int count)
{
    {
        if (QFile::exists(path)) {
            auto existing = ModelContainer::create(path);
            if (auto* container = std::get_if<std::unique_ptr<ModelContainer>>(&existing)) {
                auto stored = (*container)->mainContext().count(ItemPredicate::all());
                if (stored && *stored == count)
                    return true;
            }
        }
    }
    QFile::remove(path);
    auto created = ModelContainer::create(path);
    auto* container = std::get_if<std::unique_ptr<ModelContainer>>(&created);
    if (!container)
        return false;
    std::fprintf(stderr, "generating %d records in %s ...\n", count, qPrintable(path));
    ModelContext& context = (*container)->mainContext();
    QRandomGenerator random(42);
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-365);
    const qint64 step = 365LL * 86400 * 1000 / count;
    for (int i = 0; i < count; ++i) {
        ClipboardItem item = makeItem(random, start.addMSecs(step * i));
        context.insert(item);
        if (i % 2000 == 1999 && !context.save())
            return false;
    }
    return context.save();
}

qint64 residentMemory()
{
    QFile status("/proc/self/statm");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = status.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

} // namespace brivet::bench

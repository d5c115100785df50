#include "HistoryGenerator.h"

#include "store/ModelContainer.h"

#include <QFile>
#include <QThread>
#include <QRandomGenerator>
#include <cmath>
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

// Words as people write them: a few very frequent ones, a long tail of rare ones (the rank
// of a word is drawn log-uniformly, close to Zipf's law). The tail is made of syllables, so
// that a long needle finds few records and a short one many, as in a real history.
const QStringList& vocabulary()
{
    static const QStringList list = [] {
        QStringList words;
        for (const char* word :
             {"the",      "and",      "to",      "of",     "a",      "in",        "is",
              "for",      "that",     "with",    "on",     "it",     "you",       "this",
              "de",       "la",       "und",     "die",    "le",     "est",       "copy",
              "paste",    "meeting",  "invoice", "server", "deploy", "return",    "const",
              "function", "customer", "address", "Berlin", "École",  "été",       "déjà",
              "café",     "Straße",   "Grüße",   "über",   "příliš", "žluťoučký", "東京",
              "会議",     "北京",     "明天",    "👍",      "🎉",      "naïve",     "quick",
              "brown",    "fox",      "lorem",   "ipsum"})
            words << QString::fromUtf8(word);
        static const char* const syllables[] = {"ka",  "ro",  "mi",  "ten", "sa",  "lu",  "vor",
                                                "pe",  "dan", "qui", "zo",  "bre", "fi",  "gar",
                                                "nu",  "ste", "hal", "wy",  "cre", "jo",  "mas",
                                                "tri", "pol", "ex",  "ne",  "dor", "sli", "ba"};
        QRandomGenerator random(1);
        while (words.size() < 20000) {
            QString word;
            for (int n = 2 + random.bounded(3); n > 0; --n)
                word += QLatin1String(syllables[random.bounded(int(std::size(syllables)))]);
            words << word;
        }
        return words;
    }();
    return list;
}

QString words(QRandomGenerator& random, int length)
{
    const QStringList& list = vocabulary();
    QString text;
    text.reserve(length + 16);
    while (text.size() < length) {
        const double rank = std::pow(double(list.size()), random.generateDouble());
        text += list[std::min(int(rank) - 1, int(list.size()) - 1)];
        text += random.bounded(12) == 0 ? QLatin1String("\n") : QLatin1String(" ");
    }
    return text.left(length);
}

// A few words most of the time, a paragraph often, some kilobytes now and then.
int textLength(QRandomGenerator& random)
{
    const int band = random.bounded(100);
    if (band < 45)
        return 5 + random.bounded(60);
    if (band < 85)
        return 60 + random.bounded(440);
    if (band < 98)
        return 500 + random.bounded(2500);
    return 3000 + random.bounded(9000);
}

struct SourceApp
{
    QString name;
    QString bundleId;
};

const QList<SourceApp>& sourceApps()
{
    static const QList<SourceApp> apps = [] {
        QList<SourceApp> list;
        const char* const names[] = {"Firefox",
                                     "Chromium",
                                     "Text Editor",
                                     "Terminal",
                                     "Konsole",
                                     "Kate",
                                     "LibreOffice Writer",
                                     "LibreOffice Calc",
                                     "Thunderbird",
                                     "Evolution",
                                     "Files",
                                     "Dolphin",
                                     "GIMP",
                                     "Inkscape",
                                     "Visual Studio Code",
                                     "Emacs",
                                     "Vim",
                                     "Slack",
                                     "Element",
                                     "Signal",
                                     "Telegram Desktop",
                                     "KeePassXC",
                                     "Okular",
                                     "Evince",
                                     "Spotify",
                                     "Zotero",
                                     "Obsidian",
                                     "Joplin",
                                     "Qt Creator",
                                     "KDevelop",
                                     "Krita",
                                     "Shotwell",
                                     "Document Viewer",
                                     "Calculator",
                                     "Gedit",
                                     "Mousepad",
                                     "Thunar",
                                     "Nautilus",
                                     "Discord",
                                     "Zoom"};
        for (const char* name : names) {
            const QString text = QString::fromUtf8(name);
            list.append({text, "org.example." + QString(text).remove(' ')});
        }
        return list;
    }();
    return apps;
}

ClipboardItem makeItem(QRandomGenerator& random, const QDateTime& when)
{
    ClipboardItemContent content;
    const SourceApp& app = sourceApps()[random.bounded(int(sourceApps().size()))];
    content.sourceAppName = app.name;
    content.sourceAppBundleID = app.bundleId;
    const int kind = random.bounded(100);
    if (kind < 85) {
        content.contentType = "text";
        content.textContent = words(random, textLength(random));
    } else if (kind < 93) {
        content.contentType = "link";
        const QString url =
            "https://example.com/" +
            words(random, 10 + random.bounded(60)).replace(' ', '/').replace('\n', '-');
        content.textContent = url;
        content.urlString = url;
    } else if (kind < 98) {
        content.contentType = "image";
        content.imageData = randomBytes(random, 16384 + random.bounded(32768));
        content.thumbnailData = randomBytes(random, 4096);
    } else {
        content.contentType = "file";
        content.filePath = "/home/user/Documents/" + words(random, 12).trimmed().replace(' ', '-') +
                           "-" + QString::number(random.generate()) + ".pdf";
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
            auto* container = std::get_if<std::unique_ptr<ModelContainer>>(&existing);
            // A store that cannot be opened now (another run holds it) is not thrown away:
            // generating a million records takes a quarter of an hour.
            if (!container) {
                std::fprintf(stderr, "cannot open %s; not generating it again\n", qPrintable(path));
                return false;
            }
            auto stored = (*container)->mainContext().count(ItemPredicate::all());
            if (!stored) {
                std::fprintf(stderr, "cannot count the records of %s\n", qPrintable(path));
                return false;
            }
            if (*stored == count) {
                // Measured with the search index complete (an older store gets a new one).
                if ((*container)->isMakingSearchIndex())
                    std::fprintf(stderr, "making the search index of %s ...\n", qPrintable(path));
                while ((*container)->isMakingSearchIndex())
                    QThread::msleep(100);
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
    context.setAutosaveEnabled(false);
    QList<Category> categories;
    for (int c = 0; c < 10; ++c) {
        Category category(QStringLiteral("Category %1").arg(c + 1), QStringLiteral("#FF9F0A"), c,
                          c == 0);
        context.insert(category);
        categories.append(category);
    }
    // A few thousand pins over the nine user categories.
    const int pinEvery = std::max(1, count / 3000);
    for (int i = 0; i < count; ++i) {
        ClipboardItem item = makeItem(random, start.addMSecs(step * i));
        context.insert(item);
        if (i % pinEvery == 0)
            context.link(item, categories[1 + random.bounded(9)]);
        if (i % 2000 == 1999 && !context.save())
            return false;
        if (i % 100000 == 99999)
            std::fprintf(stderr, "  %d\n", i + 1);
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

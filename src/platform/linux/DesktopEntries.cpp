#include "platform/linux/DesktopEntries.h"

#include "platform/linux/DesktopFile.h"
#include "platform/PlatformLogging.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

namespace brivet {

namespace {

// Name[...] keys for a messages locale, in the order the desktop-entry rules prefer them:
// lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER, lang.
QStringList localeKeys(QString locale)
{
    QString modifier;
    const qsizetype at = locale.indexOf(QLatin1Char('@'));
    if (at >= 0) {
        modifier = locale.mid(at + 1);
        locale.truncate(at);
    }
    const qsizetype dot = locale.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        locale.truncate(dot);
    if (locale.isEmpty() || locale == QLatin1String("C") || locale == QLatin1String("POSIX"))
        return {};
    QString lang = locale;
    QString country;
    const qsizetype underscore = locale.indexOf(QLatin1Char('_'));
    if (underscore >= 0) {
        lang = locale.left(underscore);
        country = locale.mid(underscore + 1);
    }
    QStringList keys;
    if (!country.isEmpty() && !modifier.isEmpty())
        keys << lang + QLatin1Char('_') + country + QLatin1Char('@') + modifier;
    if (!country.isEmpty())
        keys << lang + QLatin1Char('_') + country;
    if (!modifier.isEmpty())
        keys << lang + QLatin1Char('@') + modifier;
    keys << lang;
    return keys;
}

QString stripDesktopSuffix(QString id)
{
    if (id.endsWith(QLatin1String(".desktop")))
        id.chop(8);
    return id;
}

} // namespace

DesktopEntries::DesktopEntries(QStringList dataDirs, QString locale)
    : m_localeKeys(localeKeys(std::move(locale)))
{
    for (const QString& dir : dataDirs) {
        if (!dir.isEmpty())
            m_applicationDirs << QDir::cleanPath(dir + QLatin1String("/applications"));
    }
    m_applicationDirs.removeDuplicates();
}

QStringList DesktopEntries::defaultDataDirs()
{
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QLatin1String("/.local/share");
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    return QStringList{home} + dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString DesktopEntries::defaultLocale()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

ApplicationInfo DesktopEntries::applicationFor(const WindowHints& hints, const QString& fallback)
{
    QString bundleId = fallback;
    QString name = fallback;
    if (const std::optional<Entry> entry = forWindow(hints)) {
        bundleId = entry->id;
        if (!entry->name.isEmpty())
            name = entry->name;
    }
    return ApplicationInfo{name.isEmpty() ? std::nullopt : std::optional(name),
                           bundleId.isEmpty() ? std::nullopt : std::optional(bundleId)};
}

std::optional<DesktopEntries::Entry> DesktopEntries::forWindow(const WindowHints& hints)
{
    if (!hints.applicationId.isEmpty()) {
        if (auto entry = byId(hints.applicationId))
            return entry;
    }
    if (!hints.desktopFile.isEmpty()) {
        if (auto entry = byId(QFileInfo(hints.desktopFile).fileName()))
            return entry;
    }
    refreshIfChanged();
    for (const QString& wmClass : {hints.wmClass, hints.wmInstance}) {
        auto it = m_idByWmClass.constFind(wmClass);
        if (!wmClass.isEmpty() && it != m_idByWmClass.constEnd())
            return m_byId.value(*it);
    }
    if (!hints.wmClass.isEmpty())
        return byId(hints.wmClass);
    return std::nullopt;
}

// Exact ids first; then ids that differ only in case, so that the class "Gimp" finds gimp.
std::optional<DesktopEntries::Entry> DesktopEntries::byId(QString id)
{
    refreshIfChanged();
    id = stripDesktopSuffix(std::move(id));
    auto exact = m_byId.constFind(id);
    if (exact != m_byId.constEnd())
        return *exact;
    auto folded = m_idByLowerId.constFind(id.toLower());
    if (folded != m_idByLowerId.constEnd())
        return m_byId.value(*folded);
    return std::nullopt;
}

void DesktopEntries::refreshIfChanged()
{
    QList<QDateTime> stamps;
    stamps.reserve(m_applicationDirs.size());
    for (const QString& dir : std::as_const(m_applicationDirs))
        stamps << QFileInfo(dir).lastModified();
    if (m_built && stamps == m_dirStamps && !m_racy)
        return;
    m_dirStamps = stamps;
    // File times are coarse: a directory changed in the same tick as it was read looks
    // unchanged afterwards. Until its time is safely in the past, read it again on each use.
    const QDateTime safe = QDateTime::currentDateTimeUtc().addSecs(-2);
    m_racy = std::any_of(stamps.cbegin(), stamps.cend(),
                         [&](const QDateTime& stamp) { return stamp.isValid() && stamp > safe; });
    rebuild();
}

void DesktopEntries::rebuild()
{
    m_built = true;
    m_seenIds.clear();
    m_byId.clear();
    m_idByLowerId.clear();
    m_idByWmClass.clear();
    for (const QString& dir : std::as_const(m_applicationDirs))
        readDirectory(dir);
    qCDebug(lcPlatform) << "indexed" << m_byId.size() << "desktop files";
}

void DesktopEntries::readDirectory(const QString& applicationsDir)
{
    QStringList relativePaths;
    const QDir base(applicationsDir);
    QDirIterator it(applicationsDir, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
                    QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext())
        relativePaths << base.relativeFilePath(it.next());
    relativePaths.sort();
    for (const QString& relative : std::as_const(relativePaths)) {
        // Files in subdirectories have ids with '-' for '/': kde4/kate.desktop is kde4-kate.
        QString id = stripDesktopSuffix(relative);
        id.replace(QLatin1Char('/'), QLatin1Char('-'));
        if (m_seenIds.contains(id))
            continue;
        m_seenIds.insert(id);
        readFile(base.filePath(relative), id);
    }
}

void DesktopEntries::readFile(const QString& path, const QString& id)
{
    const std::optional<QHash<QString, QString>> group =
        readDesktopFileGroup(path, QStringLiteral("Desktop Entry"));
    if (!group)
        return;
    const QHash<QString, QString>& values = *group;
    // A hidden entry deletes the application of that id, also from less important directories.
    if (values.value(QStringLiteral("Hidden")) == QLatin1String("true") ||
        values.value(QStringLiteral("Type"), QStringLiteral("Application")) !=
            QLatin1String("Application"))
        return;
    QString name = values.value(QStringLiteral("Name"));
    for (const QString& locale : std::as_const(m_localeKeys)) {
        const QString localized = values.value(QStringLiteral("Name[%1]").arg(locale));
        if (!localized.isEmpty()) {
            name = localized;
            break;
        }
    }
    m_byId.insert(id, Entry{id, name});
    if (!m_idByLowerId.contains(id.toLower()))
        m_idByLowerId.insert(id.toLower(), id);
    const QString wmClass = values.value(QStringLiteral("StartupWMClass"));
    if (!wmClass.isEmpty() && !m_idByWmClass.contains(wmClass))
        m_idByWmClass.insert(wmClass, id);
}

} // namespace brivet

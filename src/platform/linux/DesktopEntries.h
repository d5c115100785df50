#pragma once

#include "platform/FrontApplication.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace brivet {

// The installed applications' desktop files (applications/ under each XDG data directory),
// indexed so that a window can be named after its application. The index is built on first use
// and rebuilt only when one of the applications/ directories changes.
class DesktopEntries
{
public:
    struct Entry
    {
        QString id;   // desktop-file id without ".desktop", e.g. "org.gnome.TextEditor"
        QString name; // Name=, localized for the locale when the file has it
    };
    // What a window says about its application; any part may be empty.
    struct WindowHints
    {
        QString applicationId; // _GTK_APPLICATION_ID
        QString desktopFile;   // _KDE_NET_WM_DESKTOP_FILE (an id or a path)
        QString wmClass;       // the class part of WM_CLASS
        QString wmInstance;    // the instance part of WM_CLASS
    };

    // dataDirs: most important first (their applications/ subdirectories are read);
    // locale: a messages locale such as "de_DE.UTF-8@euro".
    DesktopEntries(QStringList dataDirs, QString locale);

    // $XDG_DATA_HOME, then $XDG_DATA_DIRS, with the freedesktop defaults.
    static QStringList defaultDataDirs();
    // The messages locale from LC_ALL, LC_MESSAGES or LANG.
    static QString defaultLocale();

    // Looks the application up by the window's application id, then its desktop-file hint,
    // then StartupWMClass, then the id equal to the (lower-cased) class.
    std::optional<Entry> forWindow(const WindowHints& hints);
    std::optional<Entry> byId(QString id);
    // The application of a window as Brivet credits copies to it: named after its desktop
    // entry where one is found, else after `fallback` (the window's class or app_id).
    ApplicationInfo applicationFor(const WindowHints& hints, const QString& fallback);

private:
    void refreshIfChanged();
    void rebuild();
    void readDirectory(const QString& applicationsDir);
    void readFile(const QString& path, const QString& id);

    QStringList m_applicationDirs;
    QStringList m_localeKeys; // Name[...] keys to try, best first
    QList<QDateTime> m_dirStamps;
    bool m_built = false;
    bool m_racy = false;     // a directory changed too recently for its time to be trusted
    QSet<QString> m_seenIds; // ids already taken by a more important directory
    QHash<QString, Entry> m_byId;
    QHash<QString, QString> m_idByLowerId;
    QHash<QString, QString> m_idByWmClass;
};

} // namespace brivet

#pragma once

#include <QObject>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

class QSettings;

namespace brivet {

class IgnoredApplications;

// The user's list of applications whose copies are never recorded: kept in the settings file
// (array "ignoredApplications", each entry an id and the name it is shown by) and handed to
// the clipboard's IgnoredApplications, which the readers ask. Main thread only.
class IgnoredApplicationList : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the application delegate")
    // {id, name} of each application, in the order they were added.
    Q_PROPERTY(QVariantList entries READ entries NOTIFY entriesChanged)
public:
    // Reads the saved list and hands it to ignored at once; both must outlive the list.
    IgnoredApplicationList(QSettings& settings, IgnoredApplications& ignored,
                           QObject* parent = nullptr);

    QVariantList entries() const;
    QStringList ids() const;

    // Adds an application (an id already listed is not added twice).
    void add(const QString& id, const QString& name);
    Q_INVOKABLE void remove(const QString& id);

signals:
    void entriesChanged();

private:
    struct Entry
    {
        QString id;
        QString name;
    };
    void save();

    QSettings& m_settings;
    IgnoredApplications& m_ignored;
    QList<Entry> m_entries;
};

} // namespace brivet

#include "settings/IgnoredApplicationList.h"

#include "platform/IgnoredApplications.h"
#include "settings/SettingsLogging.h"

#include <QSettings>
#include <QVariantMap>
#include <algorithm>

namespace brivet {

namespace {
const QString kArray = QStringLiteral("ignoredApplications");
const QString kId = QStringLiteral("id");
const QString kName = QStringLiteral("name");
} // namespace

IgnoredApplicationList::IgnoredApplicationList(QSettings& settings, IgnoredApplications& ignored,
                                               QObject* parent)
    : QObject(parent), m_settings(settings), m_ignored(ignored)
{
    const int n = m_settings.beginReadArray(kArray);
    for (int i = 0; i < n; ++i) {
        m_settings.setArrayIndex(i);
        const QString id = m_settings.value(kId).toString().trimmed();
        if (!id.isEmpty())
            m_entries.append({id, m_settings.value(kName, id).toString()});
    }
    m_settings.endArray();
    m_ignored.setIds(ids());
}

QVariantList IgnoredApplicationList::entries() const
{
    QVariantList result;
    for (const Entry& entry : m_entries)
        result.append(QVariantMap{{kId, entry.id}, {kName, entry.name}});
    return result;
}

QStringList IgnoredApplicationList::ids() const
{
    QStringList result;
    for (const Entry& entry : m_entries)
        result.append(entry.id);
    return result;
}

void IgnoredApplicationList::add(const QString& id, const QString& name)
{
    if (id.trimmed().isEmpty() || std::any_of(m_entries.begin(), m_entries.end(),
                                              [&](const Entry& entry) { return entry.id == id; }))
        return;
    m_entries.append({id, name.isEmpty() ? id : name});
    qCInfo(lcSettings) << "copies from" << id << "are not recorded any more";
    save();
}

void IgnoredApplicationList::remove(const QString& id)
{
    const auto removed = m_entries.removeIf([&](const Entry& entry) { return entry.id == id; });
    if (removed == 0)
        return;
    qCInfo(lcSettings) << "copies from" << id << "are recorded again";
    save();
}

void IgnoredApplicationList::save()
{
    m_settings.remove(kArray); // entries past the new end go too
    m_settings.beginWriteArray(kArray, int(m_entries.size()));
    for (int i = 0; i < m_entries.size(); ++i) {
        m_settings.setArrayIndex(i);
        m_settings.setValue(kId, m_entries[i].id);
        m_settings.setValue(kName, m_entries[i].name);
    }
    m_settings.endArray();
    m_settings.sync();
    m_ignored.setIds(ids());
    emit entriesChanged();
}

} // namespace brivet

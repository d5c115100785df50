#include "settings/HistoryTransfer.h"

#include "settings/SettingsLogging.h"
#include "store/HistoryArchive.h"

namespace brivet {

HistoryTransfer::HistoryTransfer(ModelContext& context, QObject* parent)
    : QObject(parent), m_context(context)
{}

HistoryArchiveRequests::Answer HistoryTransfer::exportHistory(const QString& path)
{
    if (auto error = HistoryArchive::write(m_context, path))
        return report({false, tr("Could not export the history: %1").arg(*error)});
    return report({true, tr("History exported to %1").arg(path)});
}

HistoryArchiveRequests::Answer HistoryTransfer::importHistory(const QString& path)
{
    auto contents = HistoryArchive::read(path);
    if (auto* error = std::get_if<QString>(&contents))
        return report({false, tr("Nothing was imported: %1").arg(*error)});
    auto merged = HistoryArchive::merge(m_context, std::get<HistoryArchive::Contents>(contents));
    if (auto* error = std::get_if<QString>(&merged))
        return report({false, tr("Nothing was imported: %1").arg(*error)});
    const auto& counts = std::get<HistoryArchive::Merged>(merged);
    return report({true, tr("Imported %1 new items (%2 were there already), %3 categories and "
                            "%4 pins")
                             .arg(counts.items)
                             .arg(counts.skipped)
                             .arg(counts.categories)
                             .arg(counts.memberships)});
}

void HistoryTransfer::exportTo(const QUrl& file)
{
    exportHistory(file.toLocalFile());
}

void HistoryTransfer::importFrom(const QUrl& file)
{
    importHistory(file.toLocalFile());
}

HistoryArchiveRequests::Answer HistoryTransfer::report(Answer answer)
{
    qCInfo(lcSettings).noquote() << answer.message;
    m_message = answer.message;
    m_failed = !answer.ok;
    emit messageChanged();
    return answer;
}

} // namespace brivet

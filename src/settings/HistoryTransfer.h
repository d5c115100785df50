#pragma once

#include "platform/InstanceChannel.h"

#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace brivet {

class ModelContext;

// Export and import of the whole history as one archive (HistoryArchive), for the settings'
// buttons and the command line's --export and --import. An import merges: what the history
// already has stays as it is, and a damaged archive is refused with the reason, nothing
// written. Runs on the main thread, start to end. Main thread only.
class HistoryTransfer : public QObject, public HistoryArchiveRequests
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the application delegate")
    // What the last export or import did, or why it failed; empty before the first.
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    Q_PROPERTY(bool failed READ failed NOTIFY messageChanged)
public:
    explicit HistoryTransfer(ModelContext& context, QObject* parent = nullptr);

    Answer exportHistory(const QString& path) override;
    Answer importHistory(const QString& path) override;
    Q_INVOKABLE void exportTo(const QUrl& file);
    Q_INVOKABLE void importFrom(const QUrl& file);

    QString message() const { return m_message; }
    bool failed() const { return m_failed; }

signals:
    void messageChanged();

private:
    Answer report(Answer answer);

    ModelContext& m_context;
    QString m_message;
    bool m_failed = false;
};

} // namespace brivet

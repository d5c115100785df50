#pragma once

#include "platform/InstanceChannel.h"

#include <QObject>
#include <memory>

namespace brivet {

class DBusInstanceEndpoint;

// The instance channel on the D-Bus session bus: the running Brivet owns the name
// "com.brivet.Brivet" and answers Toggle, Show, Hide, OpenSettings, Quit, PauseRecording(int
// minutes), ResumeRecording, and ExportHistory(path) and ImportHistory(path) (each answering a
// message, or failing with one) on the object
// "/com/brivet/Brivet" (interface "com.brivet.Brivet"), so that `brivet --toggle` and desktop
// shortcuts can reach it.
class DBusInstanceChannel : public InstanceChannel
{
    Q_OBJECT
public:
    static QString serviceName() { return QStringLiteral("com.brivet.Brivet"); }
    static QString objectPath() { return QStringLiteral("/com/brivet/Brivet"); }

    DBusInstanceChannel();
    ~DBusInstanceChannel() override;

    Claim claim() override;
    Delivery send(InstanceCommand command, int minutes = 0) override;
    Delivery sendArchive(ArchiveAction action, const QString& path,
                         HistoryArchiveRequests::Answer* answer) override;
    void setArchiveRequests(HistoryArchiveRequests* requests) override;
    QString error() const override { return m_error; }

private:
    std::unique_ptr<DBusInstanceEndpoint> m_endpoint;
    HistoryArchiveRequests* m_archiveRequests = nullptr;
    QString m_error;
};

} // namespace brivet

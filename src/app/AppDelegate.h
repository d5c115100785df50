#pragma once

#include "common/NotificationCenter.h"
#include "platform/Platform.h"
#include "store/ModelContainer.h"

#include <QObject>
#include <QString>

#include <memory>

namespace brivet {

// Owns every long-lived service of the program, opens the store on first use, brings the
// services up when the application has started and takes them down before it exits.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    // storePath: where the history lives; the platform's desktop facilities are handed in.
    AppDelegate(QString storePath, Platform platform, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The store, opened on first read. If it cannot be opened the process stops with
    // "Could not create ModelContainer: " and the reason.
    ModelContainer& modelContainer();

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    NotificationCenter& notificationCenter() { return m_notificationCenter; }

private:
    QString m_storePath;
    Platform m_platform;
    NotificationCenter m_notificationCenter;
    std::unique_ptr<ModelContainer> m_modelContainer;
    bool m_terminated = false;
};

} // namespace brivet

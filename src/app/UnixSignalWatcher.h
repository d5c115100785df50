#pragma once

#include <QObject>

class QSocketNotifier;

namespace brivet {

// Turns SIGINT and SIGTERM into a Qt signal on the main thread, so that Ctrl+C and a
// polite kill run the normal termination sequence.
class UnixSignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit UnixSignalWatcher(QObject* parent = nullptr);
    ~UnixSignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace brivet

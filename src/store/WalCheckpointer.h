#pragma once

#include <QString>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace brivet {

// Copies a database's write-ahead log back into the file on a thread of its own, with a
// connection of its own, so that the connection that writes never waits for it. SQLite's
// automatic checkpoint runs inside the commit that crosses its threshold: on a large store
// that commit spent tens of milliseconds copying pages and waiting for two fsyncs, on the
// thread that draws the interface. A passive checkpoint never blocks readers or the writer;
// what it cannot copy yet (a reader still needs it) is copied by a later one.
class WalCheckpointer
{
public:
    explicit WalCheckpointer(QString path);
    // Waits for a checkpoint under way.
    ~WalCheckpointer();
    WalCheckpointer(const WalCheckpointer&) = delete;
    WalCheckpointer& operator=(const WalCheckpointer&) = delete;

    // Asks for a checkpoint; requests made while one runs make one more afterwards.
    void request();
    // Checkpoints completed so far (for tests and figures).
    int completed() const;

private:
    void run();

    const QString m_path;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_requested = false;
    bool m_stopping = false;
    int m_completed = 0;
    std::thread m_thread;
};

} // namespace brivet

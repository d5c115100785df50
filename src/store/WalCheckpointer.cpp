#include "store/WalCheckpointer.h"

#include "store/StoreLogging.h"

#include <QFile>
#include <sqlite3.h>

namespace brivet {

WalCheckpointer::WalCheckpointer(QString path)
    : m_path(std::move(path)), m_thread([this] { run(); })
{}

WalCheckpointer::~WalCheckpointer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void WalCheckpointer::request()
{
    {
        std::lock_guard lock(m_mutex);
        m_requested = true;
    }
    m_wake.notify_one();
}

int WalCheckpointer::completed() const
{
    std::lock_guard lock(m_mutex);
    return m_completed;
}

void WalCheckpointer::run()
{
    sqlite3* db = nullptr;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_requested || m_stopping; });
            if (m_stopping)
                break;
            m_requested = false;
        }
        // A read first: a connection finds the file in WAL mode only once it has read it.
        if (!db &&
            (sqlite3_open_v2(QFile::encodeName(m_path).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
             sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr) !=
                 SQLITE_OK)) {
            qCWarning(lcStore) << "cannot open the store for a checkpoint:"
                               << (db ? sqlite3_errmsg(db) : "out of memory");
            sqlite3_close(db);
            db = nullptr;
            continue;
        }
        int logFrames = 0;
        int copiedFrames = 0;
        const int rc = sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames,
                                                 &copiedFrames);
        if (rc != SQLITE_OK && rc != SQLITE_BUSY)
            qCWarning(lcStore) << "checkpoint failed:" << sqlite3_errmsg(db);
        else
            qCDebug(lcStore) << "checkpoint copied" << copiedFrames << "of" << logFrames
                             << "frames";
        std::lock_guard lock(m_mutex);
        ++m_completed;
    }
    sqlite3_close(db);
}

} // namespace brivet

#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace brivet {

class Database;
class WalCheckpointer;

// One prepared statement, reset and cleared by its owner before each use.
class Statement
{
public:
    Statement(Database& database, sqlite3_stmt* statement);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const QVariant& value);
    Statement& bindNull(int index);
    Statement& bind(int index, qint64 value);
    Statement& bind(int index, const QString& value);
    Statement& bind(int index, const std::optional<QString>& value);
    Statement& bindBlob(int index, const QByteArray& value);

    // true while rows come; false at the end or on error (see Database::lastError()).
    [[nodiscard]] bool step();
    // Runs to completion; true on success.
    [[nodiscard]] bool exec();

    // True when the last step() ended with an error.
    bool failed() const { return m_failed; }
    // Ends the current use early (a single-row read), releasing the read it holds.
    void finish();

    int columnCount() const;
    bool isNull(int column) const;
    qint64 int64(int column) const;
    double real(int column) const;
    QString text(int column) const;
    std::optional<QString> optionalText(int column) const;
    std::optional<qint64> optionalInt64(int column) const;
    QByteArray blob(int column) const;

private:
    friend class Database;
    void reset();
    Database& m_database;
    sqlite3_stmt* m_statement;
    bool m_failed = false;
};

// Owner of one SQLite connection. Statements are prepared once and cached.
class Database
{
public:
    // Opens an existing file or creates a new one with mode 0600; never creates the
    // directory. On failure returns nullptr and the reason in error.
    static std::unique_ptr<Database> open(const QString& path, bool create, QString* error);
    // A read-only connection to an existing file, for readers on other threads.
    static std::unique_ptr<Database> openReadOnly(const QString& path, QString* error);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // A cached statement, reset and ready for binding; nullptr when the SQL is invalid.
    Statement* prepare(const std::string& sql);
    [[nodiscard]] bool exec(const char* sql);
    bool isReadOnly() const;
    bool inTransaction() const;
    qint64 lastInsertRowId() const;
    QString lastError() const;
    // The file of the connection's main database.
    QString path() const;
    sqlite3* handle() { return m_db; }

    // For a connection in WAL mode to the file at path: commits no longer copy the log back
    // into the file themselves; a worker does it once the log has grown past a threshold.
    void checkpointInBackground(const QString& path);
    // The worker's completed checkpoints, 0 without one.
    int backgroundCheckpoints() const;

    // For the connection of the main thread: a write that finds the file locked by another
    // connection tries again every millisecond (for up to two seconds, as before) instead of
    // SQLite's growing pauses, so that it gets the lock as soon as a short transaction of
    // another connection ends rather than a pause later, when the next one may have begun.
    void retryPromptlyWhenBusy();

private:
    explicit Database(sqlite3* db);
    static int walCommitted(void* self, sqlite3* db, const char* name, int frames);
    static int busyRetry(void* self, int tries);
    static std::unique_ptr<Database> connect(const QString& path, int flags, QString* error);
    sqlite3* m_db;
    std::unordered_map<std::string, std::unique_ptr<Statement>> m_statements;
    std::unique_ptr<WalCheckpointer> m_checkpointer;
};

} // namespace brivet

#include "store/Database.h"

#include "store/StoreLogging.h"
#include "store/WalCheckpointer.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brivet {
namespace {

// The log size, in pages, past which a checkpoint is due (SQLite's own default).
constexpr int checkpointFrames = 1000;

} // namespace

Statement::Statement(Database& database, sqlite3_stmt* statement)
    : m_database(database), m_statement(statement)
{}

Statement::~Statement()
{
    sqlite3_finalize(m_statement);
}

void Statement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    m_failed = false;
}

void Statement::finish()
{
    sqlite3_reset(m_statement);
}

Statement& Statement::bind(int index, const QVariant& value)
{
    if (value.isNull())
        return bindNull(index);
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
        return bind(index, value.toLongLong());
    case QMetaType::QByteArray:
        return bindBlob(index, value.toByteArray());
    default:
        return bind(index, value.toString());
    }
}

Statement& Statement::bindNull(int index)
{
    sqlite3_bind_null(m_statement, index);
    return *this;
}

Statement& Statement::bind(int index, qint64 value)
{
    sqlite3_bind_int64(m_statement, index, value);
    return *this;
}

Statement& Statement::bind(int index, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text64(m_statement, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT,
                        SQLITE_UTF8);
    return *this;
}

Statement& Statement::bind(int index, const std::optional<QString>& value)
{
    return value ? bind(index, *value) : bindNull(index);
}

Statement& Statement::bindBlob(int index, const QByteArray& value)
{
    // An empty buffer is still a present value, never NULL.
    sqlite3_bind_blob64(m_statement, index, value.isEmpty() ? "" : value.constData(),
                        static_cast<sqlite3_uint64>(value.size()), SQLITE_TRANSIENT);
    return *this;
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE) {
        m_failed = true;
        qCDebug(lcStore) << "statement failed:" << m_database.lastError();
    }
    return false;
}

bool Statement::exec()
{
    while (step()) {
    }
    return !m_failed;
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_statement);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

qint64 Statement::int64(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

QString Statement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(m_statement, column));
}

std::optional<QString> Statement::optionalText(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return text(column);
}

std::optional<qint64> Statement::optionalInt64(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return int64(column);
}

QByteArray Statement::blob(int column) const
{
    const void* data = sqlite3_column_blob(m_statement, column);
    return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(m_statement, column));
}

std::unique_ptr<Database> Database::open(const QString& path, bool create, QString* error)
{
    const QByteArray nativePath = path.toLocal8Bit();
    if (create) {
        // Create the file ourselves so that it is private from its first byte.
        const int fd = ::open(nativePath.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            *error = QStringLiteral("cannot create %1: %2").arg(path, qt_error_string(errno));
            return nullptr;
        }
        ::close(fd);
    }
    return connect(path, SQLITE_OPEN_READWRITE, error);
}

QString Database::path() const
{
    return QString::fromLocal8Bit(sqlite3_db_filename(m_db, "main"));
}

std::unique_ptr<Database> Database::openReadOnly(const QString& path, QString* error)
{
    return connect(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, error);
}

std::unique_ptr<Database> Database::connect(const QString& path, int flags, QString* error)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toLocal8Bit().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        *error = QStringLiteral("cannot open %1: %2")
                     .arg(path, QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 2000);
    return std::unique_ptr<Database>(new Database(db));
}

Database::Database(sqlite3* db) : m_db(db) {}

void Database::retryPromptlyWhenBusy()
{
    sqlite3_busy_handler(m_db, &Database::busyRetry, this);
}

int Database::busyRetry(void*, int tries)
{
    constexpr int kTimeoutMs = 2000;
    if (tries >= kTimeoutMs)
        return 0;
    sqlite3_sleep(1);
    return 1;
}

Database::~Database()
{
    // The worker's connection closes first, so that this one, the last, folds the log in.
    m_checkpointer.reset();
    m_statements.clear();
    sqlite3_close(m_db);
}

Statement* Database::prepare(const std::string& sql)
{
    auto it = m_statements.find(sql);
    if (it != m_statements.end()) {
        it->second->reset();
        return it->second.get();
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(m_db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK) {
        qCWarning(lcStore) << "cannot prepare statement:" << lastError();
        return nullptr;
    }
    auto& slot = m_statements[sql];
    slot = std::make_unique<Statement>(*this, statement);
    return slot.get();
}

bool Database::exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        qCDebug(lcStore) << "exec failed:" << message;
        sqlite3_free(message);
        return false;
    }
    return true;
}

void Database::checkpointInBackground(const QString& path)
{
    m_checkpointer = std::make_unique<WalCheckpointer>(path);
    // Replaces the automatic checkpoint, which is a hook of its own.
    sqlite3_wal_hook(m_db, &Database::walCommitted, this);
}

int Database::walCommitted(void* self, sqlite3*, const char*, int frames)
{
    if (frames >= checkpointFrames)
        static_cast<Database*>(self)->m_checkpointer->request();
    return SQLITE_OK;
}

int Database::backgroundCheckpoints() const
{
    return m_checkpointer ? m_checkpointer->completed() : 0;
}

bool Database::isReadOnly() const
{
    return sqlite3_db_readonly(m_db, "main") == 1;
}

bool Database::inTransaction() const
{
    return sqlite3_get_autocommit(m_db) == 0;
}

qint64 Database::lastInsertRowId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

QString Database::lastError() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

} // namespace brivet

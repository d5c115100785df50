#pragma once

#include "store/ModelContext.h"

#include <QString>
#include <memory>
#include <variant>

namespace brivet {

class Database;
class SearchIndexBuilder;

// The one persistent store of the program: a SQLite file in write-ahead-log mode with the
// schema ClipboardItem, Category (see StoreSchema; configuration "BrivetCloud"), and beside it
// the folder that keeps file contents outside the database. Owns the main context.
class ModelContainer
{
public:
    static constexpr const char* configurationName = "BrivetCloud";

    // $XDG_DATA_HOME/brivet/BrivetCloud.sqlite (~/.local/share when XDG_DATA_HOME is unset).
    static QString defaultStorePath();

    // Opens or creates the store at path. On failure returns the error's description and
    // leaves an existing file exactly as it was. A store is used by one container at a time,
    // so a second Brivet process cannot interleave its writes with the first one's.
    static std::variant<std::unique_ptr<ModelContainer>, QString> create(const QString& path);

    ~ModelContainer();
    ModelContainer(const ModelContainer&) = delete;
    ModelContainer& operator=(const ModelContainer&) = delete;

    ModelContext& mainContext() { return *m_mainContext; }
    QString path() const { return m_path; }
    // While the search index of a store that lacked one is being made (searches are slower).
    bool isMakingSearchIndex() const;

private:
    ModelContainer(QString path, int lockFd, std::shared_ptr<Database> database,
                   QString externalDataDir);

    QString m_path;
    int m_lockFd; // held for the container's life: one process writes the history at a time
    std::shared_ptr<Database> m_database;
    std::unique_ptr<ModelContext> m_mainContext;
    std::unique_ptr<SearchIndexBuilder> m_indexBuilder;
};

} // namespace brivet

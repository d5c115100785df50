#pragma once

#include <QString>
#include <optional>

namespace brivet {

class Database;

// The layout of the store file and its steps from one version to the next. The version is
// kept in the file's user_version as major * 10000 + minor * 100 + patch. A new store runs
// every step in one transaction; an older one runs the steps it lacks, in one transaction.
class StoreSchema
{
public:
    static constexpr int currentVersion = 10100;
    static constexpr const char* currentVersionName = "1.1.0";

    // The reason a Brivet whose own schema is readerVersion refuses a file of fileVersion as
    // written by a newer Brivet, if it does. Every release so far refuses any greater version.
    static std::optional<QString> newerFileRefusal(qint64 fileVersion, int readerVersion,
                                                   const QString& path);
    // Whether a file of this version is one this Brivet can open, after an upgrade or not.
    static bool isKnownVersion(qint64 fileVersion);

    // Makes the current schema in an empty database; the caller holds the transaction.
    [[nodiscard]] static bool create(Database& database);
    // Brings a store of a known older version up to the current one, keeping every record,
    // in one transaction; on failure the file is left as it was and the reason returned.
    static std::optional<QString> upgrade(Database& database, qint64 fileVersion,
                                          const QString& path);
};

} // namespace brivet

#pragma once

#include "store/Category.h"
#include "store/ClipboardItem.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QUuid>
#include <optional>
#include <variant>

namespace brivet {

class ModelContext;

// The whole history in one file, to keep or to take to another computer: a POSIX tar archive
// with records.json (the items, the categories and which item is pinned to which category, at
// which position),
// blobs/<SHA-256> (the bytes of images, thumbnails and file contents, each stored once) and
// manifest.json (the format and the size and SHA-256 of every other member), written last.
// Reading checks every member against the manifest and every record's fields before anything
// is handed out, so a damaged archive is refused as a whole.
class HistoryArchive
{
public:
    static constexpr const char* formatName = "brivet-history";
    static constexpr int formatVersion = 1;

    struct Contents
    {
        QList<ClipboardItem> items; // byte buffers in memory
        QList<Category> categories;
        struct Membership
        {
            QUuid item;
            QUuid category;
            std::optional<qint64> position; // the pin's place in the category's order
        };
        QList<Membership> memberships;
    };
    struct Merged
    {
        int items = 0;       // new items added
        int categories = 0;  // new categories added
        int memberships = 0; // new pins
        int skipped = 0;     // items the store already had
    };

    // Everything in the context, written to path (0600, replaced only once whole). nullopt on
    // success, else the reason.
    static std::optional<QString> write(ModelContext& context, const QString& path);
    // The archive at path, checked whole; else the reason it is refused.
    static std::variant<Contents, QString> read(const QString& path);
    // Adds what the store lacks, by id, keeping timestamps: an item or category the store
    // already has is left as it is; the archive's default category is the store's. One save:
    // on failure nothing is written and the reason is returned.
    static std::variant<Merged, QString> merge(ModelContext& context, const Contents& contents);
};

} // namespace brivet

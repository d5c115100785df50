#pragma once

#include "store/Blob.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace brivet {

class ClipboardItem;

// File contents live in files beside the database. A capture may write them there ahead of
// time from a worker thread ("staging"), so that inserting the record on the main thread only
// renames the file. Every function here is safe to call from any thread.
namespace ExternalData {

// Writes bytes to a new file readable by its owner only, complete or not at all.
std::optional<QString> writePrivateFile(const QString& path, const QByteArray& bytes);

// Writes bytes to a new staged file in directory; the blob reads them back from there.
// std::nullopt when the file cannot be written.
std::optional<Blob> stage(const QString& directory, const QByteArray& bytes);

bool isStaged(const Blob& blob);

// Deletes the staged file behind a record that will not be inserted.
void discardStaged(const ClipboardItem& item);

// Deletes staged files that no record took (left behind by a process that ended early).
void removeLeftoverStagedFiles(const QString& directory);

} // namespace ExternalData
} // namespace brivet

#pragma once

#include <QString>

namespace brivet::bench {

// Fills a new store at path with count records of mixed kinds and sizes (texts, links,
// images with thumbnails, files with contents), spread over the last year. Reuses the file
// when it already holds that many records.
bool ensureHistory(const QString& path, int count);

// Resident memory of this process, in bytes.
qint64 residentMemory();

} // namespace brivet::bench

#pragma once

#include <QHash>
#include <QString>
#include <optional>

namespace brivet {

// Reads one group of a freedesktop key file (.desktop, .thumbnailer): key -> value, escapes
// (\s \n \t \r \\) undone, the first of repeated keys kept. std::nullopt when the file cannot
// be read, is implausibly large, or lacks the group.
std::optional<QHash<QString, QString>> readDesktopFileGroup(const QString& path,
                                                            const QString& group);

} // namespace brivet

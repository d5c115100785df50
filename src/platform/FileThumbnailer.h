#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace brivet {

// Makes a small preview image of a file. Thread-safe and time-limited: it is called off the
// main thread and returns within a few seconds whatever the file is.
class FileThumbnailer
{
public:
    virtual ~FileThumbnailer() = default;
    // PNG bytes whose longest side is at most maxSide, or std::nullopt.
    virtual std::optional<QByteArray> thumbnail(const QString& path, int maxSide) const = 0;
};

} // namespace brivet

#pragma once

#include "platform/FileThumbnailer.h"

#include <QImage>
#include <QList>
#include <QStringList>
#include <chrono>
#include <mutex>
#include <optional>

namespace brivet {

// Previews of files for the history: images by a scaled read, PDFs by their first page, other
// types by the thumbnailer programs installed on the system (freedesktop .thumbnailer files),
// each run in a private temporary directory and killed when it takes too long. Safe to call
// from several threads at once.
class FreedesktopThumbnailer : public FileThumbnailer
{
public:
    // Reads the thumbnailers of $XDG_DATA_HOME and $XDG_DATA_DIRS; programs get 5 s.
    FreedesktopThumbnailer();
    // thumbnailerDirs: directories of .thumbnailer files, most important first.
    FreedesktopThumbnailer(QStringList thumbnailerDirs, std::chrono::milliseconds timeout);

    std::optional<QByteArray> thumbnail(const QString& path, int maxSide) const override;

private:
    struct Program
    {
        QString name;     // the .thumbnailer file's name, for log lines
        QStringList exec; // program and arguments, with %i %u %o %s still in them
        QStringList mimeTypes;
    };

    std::optional<QImage> imageThumbnail(const QString& path, int maxSide) const;
    std::optional<QImage> pdfThumbnail(const QString& path, int maxSide) const;
    std::optional<QImage> externalThumbnail(const QString& path, const QString& mimeType,
                                            int maxSide) const;
    std::optional<QImage> runProgram(const Program& program, const QString& path,
                                     int maxSide) const;
    const QList<Program>& programs() const;

    QStringList m_thumbnailerDirs;
    std::chrono::milliseconds m_timeout;
    mutable std::once_flag m_programsLoaded;
    mutable QList<Program> m_programs; // written once, under m_programsLoaded
};

} // namespace brivet

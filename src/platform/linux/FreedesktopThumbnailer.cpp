#include "platform/linux/FreedesktopThumbnailer.h"

#include "platform/linux/DesktopEntries.h"
#include "platform/linux/DesktopFile.h"
#include "platform/PlatformLogging.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>
#include <QPdfDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>

namespace brivet {

namespace {

constexpr auto kDefaultTimeout = std::chrono::seconds(5);

QStringList defaultThumbnailerDirs()
{
    QStringList result;
    for (const QString& dir : DesktopEntries::defaultDataDirs())
        result << dir + QLatin1String("/thumbnailers");
    return result;
}

// Splits an Exec= value into arguments by the desktop-entry quoting rules: spaces separate,
// double quotes group, and inside quotes a backslash escapes the next character.
std::optional<QStringList> splitExec(const QString& exec)
{
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool hasArg = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                current.append(exec.at(++i));
            } else if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else {
                current.append(c);
            }
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
            hasArg = true;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (hasArg)
                args << current;
            current.clear();
            hasArg = false;
        } else {
            current.append(c);
            hasArg = true;
        }
    }
    if (inQuotes)
        return std::nullopt;
    if (hasArg)
        args << current;
    if (args.isEmpty())
        return std::nullopt;
    return args;
}

QString substitute(const QString& arg, const QHash<QChar, QString>& fields)
{
    QString out;
    for (qsizetype i = 0; i < arg.size(); ++i) {
        if (arg.at(i) == QLatin1Char('%') && i + 1 < arg.size()) {
            const QChar code = arg.at(++i);
            if (code == QLatin1Char('%'))
                out.append(QLatin1Char('%'));
            else
                out.append(fields.value(code)); // unknown codes vanish, as for launchers
            continue;
        }
        out.append(arg.at(i));
    }
    return out;
}

QSize boundedSize(QSize size, int maxSide)
{
    if (size.width() <= maxSide && size.height() <= maxSide)
        return size;
    QSize scaled = size.scaled(maxSide, maxSide, Qt::KeepAspectRatio);
    return scaled.expandedTo(QSize(1, 1));
}

// Scales down what a reader or a program gave when it is still too large.
QImage bounded(const QImage& image, int maxSide)
{
    const QSize target = boundedSize(image.size(), maxSide);
    if (target == image.size())
        return image;
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

std::optional<QByteArray> encodePng(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return std::nullopt;
    return bytes;
}

} // namespace

FreedesktopThumbnailer::FreedesktopThumbnailer()
    : FreedesktopThumbnailer(defaultThumbnailerDirs(), kDefaultTimeout)
{}

FreedesktopThumbnailer::FreedesktopThumbnailer(QStringList thumbnailerDirs,
                                               std::chrono::milliseconds timeout)
    : m_thumbnailerDirs(std::move(thumbnailerDirs)), m_timeout(timeout)
{}

std::optional<QByteArray> FreedesktopThumbnailer::thumbnail(const QString& path, int maxSide) const
{
    const QFileInfo info(path);
    if (maxSide < 1 || !info.isFile() || !info.isReadable())
        return std::nullopt;
    const QString absolute = info.absoluteFilePath();
    // Content first, then the name: a PNG saved as .txt is still a PNG.
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(absolute);

    std::optional<QImage> image;
    if (mime.inherits(QStringLiteral("application/pdf")))
        image = pdfThumbnail(absolute, maxSide);
    else if (mime.name().startsWith(QLatin1String("image/")))
        image = imageThumbnail(absolute, maxSide);
    if (!image)
        image = externalThumbnail(absolute, mime.name(), maxSide);
    if (!image || image->isNull())
        return std::nullopt;
    return encodePng(bounded(*image, maxSide));
}

std::optional<QImage> FreedesktopThumbnailer::imageThumbnail(const QString& path, int maxSide) const
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    // Decoders that can (JPEG above all) then decode at the small size directly.
    if (size.isValid())
        reader.setScaledSize(boundedSize(size, maxSide));
    QImage image = reader.read();
    if (image.isNull()) {
        qCDebug(lcPlatform) << "no image thumbnail:" << reader.errorString();
        return std::nullopt;
    }
    return image;
}

std::optional<QImage> FreedesktopThumbnailer::pdfThumbnail(const QString& path, int maxSide) const
{
    QPdfDocument document;
    if (document.load(path) != QPdfDocument::Error::None || document.pageCount() < 1) {
        qCDebug(lcPlatform) << "no PDF thumbnail: the document does not open";
        return std::nullopt;
    }
    const QSizeF points = document.pagePointSize(0);
    if (points.isEmpty())
        return std::nullopt;
    const QSize target =
        points.scaled(maxSide, maxSide, Qt::KeepAspectRatio).toSize().expandedTo(QSize(1, 1));
    const QImage rendered = document.render(0, target);
    if (rendered.isNull())
        return std::nullopt;
    // Pages render onto transparency; on paper, and in every viewer, they are white.
    QImage page(rendered.size(), QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.drawImage(0, 0, rendered);
    painter.end();
    return page;
}

std::optional<QImage> FreedesktopThumbnailer::externalThumbnail(const QString& path,
                                                                const QString& mimeType,
                                                                int maxSide) const
{
    const QMimeType mime = QMimeDatabase().mimeTypeForName(mimeType);
    for (const Program& program : programs()) {
        const bool handles = std::any_of(program.mimeTypes.cbegin(), program.mimeTypes.cend(),
                                         [&](const QString& type) { return mime.inherits(type); });
        if (!handles)
            continue;
        if (std::optional<QImage> image = runProgram(program, path, maxSide))
            return image;
    }
    return std::nullopt;
}

std::optional<QImage> FreedesktopThumbnailer::runProgram(const Program& program,
                                                         const QString& path, int maxSide) const
{
    QTemporaryDir dir(QDir::tempPath() + QLatin1String("/brivet-thumbnail-XXXXXX"));
    if (!dir.isValid())
        return std::nullopt;
    const QString output = dir.filePath(QStringLiteral("thumbnail.png"));
    const QHash<QChar, QString> fields{
        {QLatin1Char('i'), path},
        {QLatin1Char('u'), QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)},
        {QLatin1Char('o'), output},
        {QLatin1Char('s'), QString::number(maxSide)}};
    QStringList args;
    for (const QString& arg : program.exec)
        args << substitute(arg, fields);
    const QString executable = QStandardPaths::findExecutable(args.takeFirst());
    if (executable.isEmpty())
        return std::nullopt;

    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(executable, args);
    if (!process.waitForStarted(int(m_timeout.count())))
        return std::nullopt;
    if (!process.waitForFinished(int(m_timeout.count()))) {
        qCInfo(lcPlatform) << "thumbnailer" << program.name << "took too long; stopped";
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qCDebug(lcPlatform) << "thumbnailer" << program.name << "failed with" << process.exitCode();
        return std::nullopt;
    }
    return imageThumbnail(output, maxSide);
}

const QList<FreedesktopThumbnailer::Program>& FreedesktopThumbnailer::programs() const
{
    std::call_once(m_programsLoaded, [this] {
        QSet<QString> seen; // a file in a more important directory hides one of the same name
        for (const QString& dirPath : m_thumbnailerDirs) {
            const QDir dir(dirPath);
            const QStringList files = dir.entryList({QStringLiteral("*.thumbnailer")},
                                                    QDir::Files | QDir::Readable, QDir::Name);
            for (const QString& fileName : files) {
                if (seen.contains(fileName))
                    continue;
                seen.insert(fileName);
                const auto entry = readDesktopFileGroup(dir.filePath(fileName),
                                                        QStringLiteral("Thumbnailer Entry"));
                if (!entry)
                    continue;
                const QString tryExec = entry->value(QStringLiteral("TryExec"));
                if (!tryExec.isEmpty() && QStandardPaths::findExecutable(tryExec).isEmpty())
                    continue;
                const std::optional<QStringList> exec =
                    splitExec(entry->value(QStringLiteral("Exec")));
                QStringList mimeTypes;
                for (const QString& type :
                     entry->value(QStringLiteral("MimeType")).split(QLatin1Char(';')))
                    if (!type.trimmed().isEmpty())
                        mimeTypes << type.trimmed();
                if (!exec || mimeTypes.isEmpty())
                    continue;
                m_programs.append(Program{fileName, *exec, mimeTypes});
            }
        }
        qCDebug(lcPlatform) << "found" << m_programs.size() << "thumbnailer programs";
    });
    return m_programs;
}

} // namespace brivet

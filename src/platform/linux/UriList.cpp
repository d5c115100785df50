#include "platform/linux/UriList.h"

#include <QUrl>

namespace brivet {

namespace {

bool isFileUrl(const QByteArray& line)
{
    for (char c : line) {
        // Control characters have no place in a URL; a line carrying them is not one.
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    }
    // Tolerant: some programs leave spaces or UTF-8 unencoded; the line is kept as written.
    const QUrl url = QUrl::fromEncoded(line, QUrl::TolerantMode);
    return url.isValid() && url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0 &&
           url.path().startsWith(QLatin1Char('/'));
}

QStringList fileUrlsFromLines(const QList<QByteArray>& lines)
{
    QStringList urls;
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (isFileUrl(line))
            urls.append(QString::fromUtf8(line));
    }
    return urls;
}

} // namespace

QStringList fileUrlsFromUriList(const QByteArray& uriList)
{
    return fileUrlsFromLines(uriList.split('\n'));
}

QStringList fileUrlsFromGnomeCopiedFiles(const QByteArray& copiedFiles)
{
    QList<QByteArray> lines = copiedFiles.split('\n');
    if (lines.isEmpty())
        return {};
    const QByteArray action = lines.takeFirst().trimmed();
    if (action != "copy" && action != "cut")
        return {};
    return fileUrlsFromLines(lines);
}

} // namespace brivet

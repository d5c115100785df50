#include "platform/linux/DesktopFile.h"

#include <QFile>

namespace brivet {

namespace {

// Key files are a few kilobytes; anything far larger is not one worth reading.
constexpr qint64 kMaxKeyFileSize = 1024 * 1024;

QString unescape(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out.append(c);
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out.append(QLatin1Char(' '));
            break;
        case 'n':
            out.append(QLatin1Char('\n'));
            break;
        case 't':
            out.append(QLatin1Char('\t'));
            break;
        case 'r':
            out.append(QLatin1Char('\r'));
            break;
        case '\\':
            out.append(QLatin1Char('\\'));
            break;
        default: // not a string escape (Exec quoting uses \" and \$): kept for the next reader
            out.append(c);
            out.append(next);
        }
    }
    return out;
}

} // namespace

std::optional<QHash<QString, QString>> readDesktopFileGroup(const QString& path,
                                                            const QString& group)
{
    QFile file(path);
    if (file.size() > kMaxKeyFileSize || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    bool found = false;
    bool inGroup = false;
    QHash<QString, QString> values;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (inGroup)
                break;
            inGroup = line == header;
            found = found || inGroup;
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!values.contains(key))
            values.insert(key, unescape(line.mid(equals + 1).trimmed()));
    }
    if (!found)
        return std::nullopt;
    return values;
}

} // namespace brivet

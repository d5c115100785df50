#include "platform/linux/XdgAutostart.h"

#include "platform/linux/DesktopFile.h"
#include "platform/PlatformLogging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace brivet {

namespace {

const QString kEntryName = QStringLiteral("brivet.desktop");
const QString kProgramName = QStringLiteral("brivet");

// The characters that make an Exec argument need quotes, and those that need a backslash
// inside them (the lists desktop entries define).
const QString kReservedInExec = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
const QString kEscapedInQuotes = QStringLiteral("\"`$\\");

// A key-file value: backslashes doubled, so that readers undo exactly this.
QString escapeValue(const QString& value)
{
    QString out = value;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return out;
}

QString resolveProgram(const QString& program)
{
    if (program.contains(QLatin1Char('/')))
        return program;
    return QStandardPaths::findExecutable(program);
}

} // namespace

XdgAutostart::XdgAutostart(QString autostartDir, QString executablePath)
    : m_autostartDir(std::move(autostartDir)), m_executablePath(std::move(executablePath))
{}

QString XdgAutostart::defaultAutostartDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString XdgAutostart::entryPath() const
{
    return m_autostartDir + QLatin1Char('/') + kEntryName;
}

bool XdgAutostart::isRegistered() const
{
    const auto entry = readDesktopFileGroup(entryPath(), QStringLiteral("Desktop Entry"));
    if (!entry)
        return false;
    if (entry->value(QStringLiteral("Hidden")) == QLatin1String("true") ||
        entry->value(QStringLiteral("X-GNOME-Autostart-enabled")) == QLatin1String("false"))
        return false;
    const auto arguments = splitExec(entry->value(QStringLiteral("Exec")));
    if (!arguments || arguments->isEmpty())
        return false;
    const QFileInfo program(resolveProgram(arguments->first()));
    return program.fileName() == kProgramName && program.isFile() && program.isExecutable();
}

std::optional<QString> XdgAutostart::setRegistered(bool registered)
{
    if (!registered) {
        QFile entry(entryPath());
        if (!entry.exists() || entry.remove())
            return std::nullopt;
        return QStringLiteral("cannot remove %1: %2").arg(entryPath(), entry.errorString());
    }
    if (m_executablePath.contains(QLatin1Char('\n')) ||
        m_executablePath.contains(QLatin1Char('\r')))
        return QStringLiteral("the path %1 cannot be written into a desktop entry")
            .arg(m_executablePath);
    if (!QDir().mkpath(m_autostartDir))
        return QStringLiteral("cannot create the folder %1").arg(m_autostartDir);
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(entryPath(), file.errorString());
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Brivet\n"
                                        "Comment=Clipboard history\n"
                                        "Exec=%1\n"
                                        "Icon=com.brivet.Brivet\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(escapeValue(quoteExecArgument(m_executablePath)));
    file.write(text.toUtf8());
    if (!file.commit())
        return QStringLiteral("cannot write %1: %2").arg(entryPath(), file.errorString());
    qCDebug(lcPlatform) << "autostart entry written to" << entryPath();
    return std::nullopt;
}

QString XdgAutostart::quoteExecArgument(const QString& argument)
{
    QString out;
    const bool quoted =
        argument.isEmpty() || std::any_of(argument.begin(), argument.end(),
                                          [](QChar c) { return kReservedInExec.contains(c); });
    for (const QChar c : argument) {
        if (quoted && kEscapedInQuotes.contains(c))
            out.append(QLatin1Char('\\'));
        out.append(c);
        if (c == QLatin1Char('%'))
            out.append(c);
    }
    return quoted ? QLatin1Char('"') + out + QLatin1Char('"') : out;
}

std::optional<QStringList> XdgAutostart::splitExec(const QString& exec)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes) {
            if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else if (c == QLatin1Char('\\') && i + 1 < exec.size() &&
                       kEscapedInQuotes.contains(exec.at(i + 1))) {
                current.append(exec.at(++i));
            } else {
                current.append(c);
            }
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inArgument)
                arguments.append(std::exchange(current, QString()));
            inArgument = false;
            continue;
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
        } else {
            current.append(c);
        }
        if (c == QLatin1Char('%') && i + 1 < exec.size() && exec.at(i + 1) == QLatin1Char('%'))
            ++i;
        inArgument = true;
    }
    if (inQuotes)
        return std::nullopt;
    if (inArgument)
        arguments.append(current);
    return arguments;
}

} // namespace brivet

#pragma once

#include <QProcess>
#include <QStringList>

namespace brivet::test {

// Runs a helper program (xdotool, setxkbmap, ...) to its end; true when it succeeded.
inline bool runProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

inline bool xdotool(const QStringList& arguments)
{
    return runProgram(QStringLiteral("xdotool"), arguments);
}

} // namespace brivet::test

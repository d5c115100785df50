#pragma once

#include <QCoreApplication>
#include <QThread>
#include <QtGlobal>
#include <cstdio>

namespace brivet::test {

// Qt Test's message handler reads the current test's name and data row, which the main thread
// changes between rows; a message logged by a worker thread at that moment can crash the test.
// Call from initTestCase(): messages of worker threads then go straight to standard error,
// those of the main thread still through Qt Test.
inline void routeWorkerThreadMessagesToStderr()
{
    static QtMessageHandler testHandler = nullptr;
    testHandler = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
                testHandler(type, context, message);
                return;
            }
            const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit();
            std::fprintf(stderr, "%s\n", line.constData());
        });
}

} // namespace brivet::test

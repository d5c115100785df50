#pragma once

#include <QProcess>

namespace brivet::test {

// An X server of the test's own: Xvfb picks a free display itself, which becomes $DISPLAY.
class XvfbServer
{
public:
    explicit XvfbServer(const QStringList& extraArguments = {})
    {
        m_process.start("Xvfb",
                        QStringList{"-displayfd", "1", "-nolisten", "tcp"} + extraArguments);
        for (int i = 0; i < 150 && !m_process.canReadLine(); ++i)
            m_process.waitForReadyRead(100);
        const QByteArray number = m_process.readLine().trimmed();
        if (!number.isEmpty())
            qputenv("DISPLAY", ":" + number);
        m_started = !number.isEmpty();
    }
    ~XvfbServer()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    bool isStarted() const { return m_started; }
    // Takes the server down at once, as a crash would.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
    bool m_started = false;
};

} // namespace brivet::test

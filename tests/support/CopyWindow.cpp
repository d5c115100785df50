// A window that copies, for the end-to-end tests on desktops where only the window that has the
// keyboard may set the clipboard (GNOME):
//   brivet_copy_window
// Once it has the keyboard it prints "ready", then reads lines from stdin, each a copy of one
// or more types: TYPE BASE64 [TYPE BASE64]... Each key press copies the oldest line not yet
// copied, as Ctrl+C would (the compositor takes a copy only right after an input event). It
// prints "copied N" after each copy and "asked TYPE" each time another program reads a type of
// its copy.
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QQueue>
#include <QRasterWindow>
#include <QSocketNotifier>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

namespace {

class ReportingMimeData : public QMimeData
{
protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        std::printf("asked %s\n", qPrintable(mimeType));
        std::fflush(stdout);
        return QMimeData::retrieveData(mimeType, type);
    }
};

class CopyWindow : public QRasterWindow
{
public:
    CopyWindow() : m_input(STDIN_FILENO, QSocketNotifier::Read)
    {
        m_input.setEnabled(false);
        connect(&m_input, &QSocketNotifier::activated, this, [this] { readLine(); });
        connect(this, &QWindow::activeChanged, this, [this] {
            if (isActive() && !m_input.isEnabled()) {
                m_input.setEnabled(true);
                std::printf("ready\n");
                std::fflush(stdout);
            }
        });
    }

protected:
    void keyPressEvent(QKeyEvent*) override
    {
        if (m_lines.isEmpty())
            return;
        auto* data = new ReportingMimeData;
        const QList<QByteArray> parts = m_lines.dequeue().split(' ');
        for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
            data->setData(QString::fromUtf8(parts[i]), QByteArray::fromBase64(parts[i + 1]));
        QGuiApplication::clipboard()->setMimeData(data);
        std::printf("copied %d\n", ++m_copies);
        std::fflush(stdout);
    }

private:
    void readLine()
    {
        static char buffer[1 << 20];
        if (!fgets(buffer, sizeof buffer, stdin)) {
            m_input.setEnabled(false);
            return;
        }
        m_lines.enqueue(QByteArray(buffer).trimmed());
    }

    QSocketNotifier m_input;
    QQueue<QByteArray> m_lines;
    int m_copies = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication::setDesktopFileName(QStringLiteral("brivet-copy-window"));
    QGuiApplication app(argc, argv);
    CopyWindow window;
    window.setTitle(QStringLiteral("Copy Window"));
    window.resize(300, 200);
    window.show();
    return app.exec();
}

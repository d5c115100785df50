// A window that prints each key combination it receives, one line each ("Ctrl+Shift+V"), for
// the end-to-end tests that check which paste shortcut a window gets:
//   brivet_key_log_window APP_ID [TYPE,TYPE...]
// On Wayland the window's app_id is APP_ID (on X11, its class). Prints "ready" once shown.
// With a list of MIME types it also pastes as an editor does: at Ctrl+V (and Ctrl+Shift+V) it
// asks the clipboard for the first of those types it offers and prints "received TYPE DATA"
// (text with its line breaks as \n; an image as its size, "640x400"), or "received nothing".
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMimeData>
#include <QRasterWindow>
#include <cstdio>

namespace {

class KeyLogWindow : public QRasterWindow
{
public:
    explicit KeyLogWindow(QStringList pasteTypes) : m_pasteTypes(std::move(pasteTypes)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Control || event->key() == Qt::Key_Shift)
            return;
        std::printf("%s\n", qPrintable(QKeySequence(event->keyCombination()).toString()));
        if (event->key() == Qt::Key_V && (event->modifiers() & Qt::ControlModifier) &&
            !m_pasteTypes.isEmpty())
            paste();
        std::fflush(stdout);
    }
    void exposeEvent(QExposeEvent* event) override
    {
        QRasterWindow::exposeEvent(event);
        if (isExposed() && !m_ready) {
            m_ready = true;
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }

private:
    void paste()
    {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        for (const QString& type : m_pasteTypes) {
            if (!data || !data->hasFormat(type))
                continue;
            const QByteArray bytes = data->data(type);
            QString shown;
            if (type.startsWith(QLatin1String("image/"))) {
                const QImage image = QImage::fromData(bytes);
                shown = QStringLiteral("%1x%2").arg(image.width()).arg(image.height());
            } else {
                shown = QString::fromUtf8(bytes).replace(QLatin1Char('\n'), QLatin1String("\\n"));
            }
            std::printf("received %s %s\n", qPrintable(type), qPrintable(shown));
            return;
        }
        std::printf("received nothing\n");
    }

    QStringList m_pasteTypes;
    bool m_ready = false;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: brivet_key_log_window APP_ID [TYPE,TYPE...]\n");
        return 2;
    }
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    QGuiApplication app(argc, argv);
    KeyLogWindow window(argc > 2 ? QString::fromLocal8Bit(argv[2]).split(QLatin1Char(','))
                                 : QStringList());
    window.setTitle(QStringLiteral("Key log"));
    window.resize(400, 300);
    window.show();
    return app.exec();
}

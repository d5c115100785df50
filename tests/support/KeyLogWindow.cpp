// A window that prints each key combination it receives, one line each ("Ctrl+Shift+V"), for
// the end-to-end tests that check which paste shortcut a window gets:
//   brivet_key_log_window APP_ID
// On Wayland the window's app_id is APP_ID (on X11, its class). Prints "ready" once shown.
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QRasterWindow>
#include <cstdio>

namespace {

class KeyLogWindow : public QRasterWindow
{
protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Control || event->key() == Qt::Key_Shift)
            return;
        std::printf("%s\n", qPrintable(QKeySequence(event->keyCombination()).toString()));
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
    bool m_ready = false;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: brivet_key_log_window APP_ID\n");
        return 2;
    }
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    QGuiApplication app(argc, argv);
    KeyLogWindow window;
    window.resize(400, 300);
    window.show();
    return app.exec();
}

// A Wayland clipboard owner for the end-to-end tests, offering what wl-copy cannot: several
// MIME types at once, or an answer that never comes:
//   brivet_wayland_source [TYPE[:never] TEXT]...
// Prints "ready" once the compositor has the selection and "asked TYPE" for each request; quits
// when another program takes the selection, or when terminated. A type marked never is not
// answered (its pipe is kept open and silent).
#include "platform/wayland/WaylandDataControl.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>
#include <wayland-client.h>

namespace {

struct Source final : brivet::DataControl::Events
{
    std::map<std::string, QByteArray> answers;
    std::vector<std::string> silent;
    std::vector<int> heldOpen;
    std::vector<wl_proxy*> offers; // the selections seen, destroyed at the end
    bool cancelledSeen = false;

    void dataOffer(wl_proxy* offer) override { offers.push_back(offer); }
    void offerType(wl_proxy*, const char*) override {}
    void selection(wl_proxy*) override {}
    void primarySelection(wl_proxy*) override {}
    void finished() override { cancelledSeen = true; }
    void send(wl_proxy*, const char* mimeType, int fd) override
    {
        std::printf("asked %s\n", mimeType);
        std::fflush(stdout);
        const auto answer = answers.find(mimeType);
        if (std::find(silent.begin(), silent.end(), mimeType) != silent.end()) {
            heldOpen.push_back(fd);
            return;
        }
        if (answer != answers.end()) {
            const QByteArray& data = answer->second;
            for (qsizetype written = 0; written < data.size();) {
                const ssize_t n = ::write(fd, data.constData() + written, data.size() - written);
                if (n <= 0)
                    break;
                written += n;
            }
        }
        ::close(fd);
    }
    void cancelled(wl_proxy*) override { cancelledSeen = true; }
};

} // namespace

int main(int argc, char* argv[])
{
    Source source;
    QList<QByteArray> types;
    for (int i = 1; i + 1 < argc; i += 2) {
        QByteArray type(argv[i]);
        if (type.endsWith(":never")) {
            type.chop(6);
            source.silent.push_back(type.toStdString());
        }
        types.append(type);
        source.answers[type.toStdString()] = QByteArray(argv[i + 1]);
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland compositor\n");
        return 1;
    }
    std::unique_ptr<brivet::DataControl> control = brivet::DataControl::bind(display);
    if (!control) {
        std::fprintf(stderr, "the compositor offers no data-control manager\n");
        return 1;
    }
    control->watch(&source);
    wl_proxy* offer = control->createSource(types);
    control->setSelection(offer);
    if (wl_display_roundtrip(display) < 0)
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    while (!source.cancelledSeen && wl_display_dispatch(display) >= 0) {
    }
    for (int fd : source.heldOpen)
        ::close(fd);
    control->destroySource(offer);
    for (wl_proxy* seen : source.offers)
        control->destroyOffer(seen);
    control.reset();
    wl_display_disconnect(display);
    return 0;
}

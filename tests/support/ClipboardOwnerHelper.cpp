// A clipboard owner for the end-to-end tests, offering what xclip cannot: several targets at
// once, or no answer at all.
//
//   brivet_clipboard_owner [--silent] [TARGET[:slow|:never|:refuse]=TEXT|@FILE]...
//
// Takes CLIPBOARD, prints "ready" once it owns it (then "asked TARGET" for each request), and
// serves each TARGET with TEXT, or the bytes of FILE (and TARGETS with the list) until it is
// terminated. With --silent it ignores every request, like a hung application; a target marked
// slow is answered after 10 seconds, one marked never is not answered, one marked refuse is
// refused.

#include "support/TestSelectionOwner.h"

#include <QFile>
#include <cstdio>
#include <unistd.h>

using brivet::test::TestSelectionOwner;

int main(int argc, char* argv[])
{
    auto behaviour = TestSelectionOwner::Behaviour::Answer;
    QList<TestSelectionOwner::Target> targets;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--silent") {
            behaviour = TestSelectionOwner::Behaviour::Silent;
            continue;
        }
        const qsizetype equals = argument.indexOf('=');
        if (equals < 0) {
            std::fprintf(stderr, "usage: %s [--silent] [TARGET=TEXT]...\n", argv[0]);
            return 2;
        }
        QByteArray name = argument.left(equals);
        QByteArray data = argument.mid(equals + 1);
        if (data.startsWith('@')) {
            QFile file(QString::fromLocal8Bit(data.mid(1)));
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", data.constData() + 1);
                return 2;
            }
            data = file.readAll();
        }
        const QByteArray mark = name.contains(':') ? name.mid(name.indexOf(':') + 1) : "";
        name = name.left(name.indexOf(':') < 0 ? name.size() : name.indexOf(':'));
        const int delayMs = mark == "slow" ? 10000 : mark == "never" ? -1 : 0;
        targets.append({name, data, {}, mark == "refuse", delayMs});
    }

    TestSelectionOwner owner(targets, behaviour);
    if (!owner.take()) {
        std::fprintf(stderr, "could not take CLIPBOARD\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    // The owner serves on a thread of its own; each target asked for is told here.
    for (qsizetype told = 0;; ::usleep(20 * 1000)) {
        for (const QByteArray& request : owner.requests().mid(told, -1)) {
            std::printf("asked %s\n", request.constData());
            ++told;
        }
        std::fflush(stdout);
    }
}

// A clipboard owner for the end-to-end tests, offering what xclip cannot: several targets at
// once, or no answer at all:
//   brivet_clipboard_owner [--silent] [TARGET[:slow|:never|:refuse]=TEXT|@FILE]...
// Prints "ready" once it owns CLIPBOARD and "asked TARGET" for each request, until terminated.
// --silent ignores every request (a hung application); a target marked slow is answered after
// 10 s, one marked never is not answered, one marked refuse is refused; @FILE serves a file.
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
        const QByteArrayList nameAndMark = argument.left(equals).split(':');
        QByteArray data = argument.mid(equals + 1);
        if (data.startsWith('@')) {
            QFile file(QString::fromLocal8Bit(data.mid(1)));
            if (!file.open(QIODevice::ReadOnly))
                return 2;
            data = file.readAll();
        }
        const QByteArray mark = nameAndMark.value(1);
        const int delayMs = mark == "slow" ? 10000 : mark == "never" ? -1 : 0;
        targets.append({nameAndMark.first(), data, {}, mark == "refuse", delayMs});
    }
    TestSelectionOwner owner(targets, behaviour);
    if (!owner.take())
        return 1;
    std::printf("ready\n");
    for (qsizetype told = 0;; ::usleep(20000)) { // the owner serves on a thread of its own
        const QByteArrayList requests = owner.requests();
        for (; told < requests.size(); ++told)
            std::printf("asked %s\n", requests.at(told).constData());
        std::fflush(stdout);
    }
}

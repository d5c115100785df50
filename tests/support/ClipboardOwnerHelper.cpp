// A clipboard owner for the end-to-end tests, offering what xclip cannot: several targets at
// once, or no answer at all: brivet_clipboard_owner [--silent] [TARGET=TEXT]...
// Prints "ready" once it owns CLIPBOARD and "asked TARGET" for each request, until terminated.
#include "support/TestSelectionOwner.h"

#include <cstdio>
#include <unistd.h>

using brivet::test::TestSelectionOwner;

int main(int argc, char* argv[])
{
    auto behaviour = TestSelectionOwner::Behaviour::Answer;
    QList<TestSelectionOwner::Target> targets;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--silent")
            behaviour = TestSelectionOwner::Behaviour::Silent;
        else
            targets.append(
                {argument.left(argument.indexOf('=')), argument.mid(argument.indexOf('=') + 1)});
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

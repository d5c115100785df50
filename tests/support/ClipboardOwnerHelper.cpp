// A clipboard owner for the end-to-end tests, offering what xclip cannot: several targets at
// once, or no answer at all.
//
//   brivet_clipboard_owner [--silent] [TARGET=TEXT]...
//
// Takes CLIPBOARD, prints "ready" once it owns it, and serves each TARGET with TEXT (and
// TARGETS with the list) until it is terminated, printing "asked TARGET" for each request.
// With --silent it ignores every request, like a hung application.

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
        if (argument == "--silent") {
            behaviour = TestSelectionOwner::Behaviour::Silent;
            continue;
        }
        const qsizetype equals = argument.indexOf('=');
        if (equals < 0) {
            std::fprintf(stderr, "usage: %s [--silent] [TARGET=TEXT]...\n", argv[0]);
            return 2;
        }
        targets.append({argument.left(equals), argument.mid(equals + 1)});
    }

    TestSelectionOwner owner(targets, behaviour);
    if (!owner.take()) {
        std::fprintf(stderr, "could not take CLIPBOARD\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    // The owner serves on a thread of its own.
    for (qsizetype told = 0;; ::usleep(20000)) {
        const QByteArrayList requests = owner.requests();
        for (; told < requests.size(); ++told)
            std::printf("asked %s\n", requests.at(told).constData());
        std::fflush(stdout);
    }
}

#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace brivet::test {

// A CLIPBOARD owner under the test's control, on an X connection of its own: it offers the
// given targets and records what is asked of it. It can also misbehave: stay silent, or start
// an incremental transfer and never continue it; or send everything incrementally.
class TestSelectionOwner
{
public:
    enum class Behaviour
    {
        Answer,
        Silent,
        StallIncremental,
        Incremental // every target by INCR in small pieces, with a size hint of 1 byte
    };
    struct Target
    {
        QByteArray name;
        QByteArray data;
        QByteArray type = {}; // property type; empty: the target's own name
        bool refuse = false;
        int delayMs = 0; // answered this late, as a program rendering it would; < 0: never
    };

    explicit TestSelectionOwner(QList<Target> targets, Behaviour behaviour = Behaviour::Answer);
    ~TestSelectionOwner(); // gives up the selection by closing its connection

    // Takes CLIPBOARD; false when the server did not confirm it.
    [[nodiscard]] bool take();
    // The targets asked for so far, TARGETS included, in order.
    QByteArrayList requests() const;
    // Pieces of incremental transfers sent so far, the closing empty one included.
    int piecesSent() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brivet::test

// ShortcutRecorder fed with key events sent through the application, as Qt delivers them.
#include "fakes/FakeGlobalHotkey.h"
#include "hotkey/ShortcutRecorder.h"
#include "support/TestMain.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>

using namespace brivet;

namespace {

// One key press as the application would receive it on X11.
struct Press
{
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    quint32 scanCode;
};
constexpr Press kA{Qt::Key_A, Qt::NoModifier, 38};
constexpr Press kShiftA{Qt::Key_A, Qt::ShiftModifier, 38};

// Stands for a text field of the application; counts the key events that reach it.
class KeyTarget : public QObject
{
public:
    int keyEvents = 0;
    void send(const QList<Press>& presses)
    {
        for (const Press& press : presses) {
            QKeyEvent event(QEvent::KeyPress, press.key, press.modifiers, press.scanCode, 0, 0);
            QCoreApplication::sendEvent(this, &event);
        }
    }

protected:
    bool event(QEvent* event) override
    {
        keyEvents += event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
        return QObject::event(event);
    }
};

} // namespace

Q_DECLARE_METATYPE(Press)
Q_DECLARE_METATYPE(std::optional<brivet::Shortcut>)

class TestShortcutRecorder : public QObject
{
    Q_OBJECT

    FakeGlobalHotkey m_fake;
    std::unique_ptr<ShortcutRecorder> m_recorder;
    std::unique_ptr<KeyTarget> m_target;
    QList<std::optional<Shortcut>> m_results; // what recordings delivered, in order

    void record() { m_recorder->recordShortcut(); }

private slots:
    void init()
    {
        m_recorder = std::make_unique<ShortcutRecorder>(m_fake);
        m_target = std::make_unique<KeyTarget>();
        m_results.clear();
        connect(m_recorder.get(), &ShortcutRecorder::finished,
                [this](std::optional<Shortcut> value) { m_results << value; });
    }

    // Modifiers pressed first, Escape and real scan codes: tst_x11shortcutrecorder.
    void recording_data()
    {
        QTest::addColumn<QList<Press>>("presses");
        QTest::addColumn<std::optional<Shortcut>>("expected");
        QTest::addColumn<int>("passedOn"); // presses that reached the application
        const auto row = [](const char* name, QList<Press> presses,
                            std::optional<Shortcut> expected = {}, int passedOn = 0) {
            QTest::newRow(name) << presses << expected << passedOn;
        };
        // clang-format off
        row("a key without a position", {{Qt::Key_Print, Qt::ControlModifier, 107}});
        row("keypad and AltGr are no modifiers", {{Qt::Key_A, Qt::KeypadModifier | Qt::GroupSwitchModifier, 38}});
        row("where the key sits, not what it types", {{Qt::Key_A, Qt::ControlModifier, 24}}, Shortcut{12, 4096});
        row("only the first combination", {kShiftA, {Qt::Key_V, Qt::ControlModifier, 55}}, Shortcut{0, 512}, 1);
        // clang-format on
    }
    void recording()
    {
        QFETCH(QList<Press>, presses);
        QFETCH(std::optional<Shortcut>, expected);
        QFETCH(int, passedOn);
        record();
        m_target->send(presses);
        QCOMPARE(m_target->keyEvents, passedOn); // swallowed while recording
        QCOMPARE(m_recorder->isRecording(), !expected);
        QCOMPARE(m_results, expected ? QList{expected} : QList<std::optional<Shortcut>>());
        m_recorder->finishRecording(std::nullopt);
        m_target->send({kA}); // idle: keys reach the application again
        QCOMPARE(m_target->keyEvents, passedOn + 1);
    }

    // Accepted, it keeps application shortcuts (Ctrl+Q: quit) from firing.
    void shortcutOverrideIsSwallowedWhileRecording()
    {
        record();
        QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Q, Qt::ControlModifier, 24, 0, 0);
        override.ignore();
        QCoreApplication::sendEvent(m_target.get(), &override);
        QVERIFY(override.isAccepted());
        QCOMPARE(m_target->keyEvents, 0);
    }

    void newRecordingEndsTheEarlierWithNothing()
    {
        record();
        record();
        QCOMPARE(m_results, QList<std::optional<Shortcut>>({std::nullopt}));
        m_target->send({kShiftA});
        QCOMPARE(m_results.size(), 2);
        QCOMPARE(m_results.last(), std::optional(Shortcut{0, 512}));
    }

    void finishRecording()
    {
        QSignalSpy recordingSpy(m_recorder.get(), &ShortcutRecorder::isRecordingChanged);
        m_recorder->finishRecording(std::nullopt); // idle: nothing happens
        record();
        m_recorder->finishRecording(std::nullopt);
        m_recorder->finishRecording(Shortcut{0, 512}); // nothing left to resume
        QCOMPARE(m_results, QList<std::optional<Shortcut>>({std::nullopt}));
        QCOMPARE(recordingSpy.count(), 2);
    }

    void destroyedRecorderEndsTheRecordingWithNothing()
    {
        record();
        m_recorder.reset();
        QCOMPARE(m_results, QList<std::optional<Shortcut>>({std::nullopt}));
        m_target->send({kA});
        QCOMPARE(m_target->keyEvents, 1);
    }
};

BRIVET_TEST_CLASS(TestShortcutRecorder)
#include "tst_shortcutrecorder.moc"

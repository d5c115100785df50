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

// Stands for a text field or any other widget of the application.
class KeyTarget : public QObject
{
public:
    int keyEvents = 0;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)
            ++keyEvents;
        return QObject::event(event);
    }
};

// The results a recording delivered, in order; each completion appends once.
struct Results
{
    QList<std::optional<Shortcut>> values;
    ShortcutRecorder::Completion completion()
    {
        return [this](std::optional<Shortcut> value) {
            values << value;
        };
    }
};

constexpr Press kA{Qt::Key_A, Qt::NoModifier, 38};
constexpr Press kShiftA{Qt::Key_A, Qt::ShiftModifier, 38};

} // namespace

Q_DECLARE_METATYPE(Press)
Q_DECLARE_METATYPE(std::optional<brivet::Shortcut>)

// ShortcutRecorder fed with key events sent through the application, as Qt delivers them.
class TestShortcutRecorder : public QObject
{
    Q_OBJECT

private:
    static void sendAll(KeyTarget& target, const QList<Press>& presses)
    {
        for (const Press& press : presses) {
            QKeyEvent event(QEvent::KeyPress, press.key, press.modifiers, press.scanCode, 0, 0);
            QCoreApplication::sendEvent(&target, &event);
        }
    }

    FakeGlobalHotkey m_fake;

private slots:
    void recording_data()
    {
        QTest::addColumn<QList<Press>>("presses");
        QTest::addColumn<std::optional<Shortcut>>("expected");
        QTest::addColumn<int>("passedOn"); // presses that reached the application

        // Modifiers pressed first, Escape and Return, real scan codes: tst_x11shortcutrecorder.
        QTest::addRow("Super alone waits too")
            << QList<Press>{{Qt::Key_Super_L, Qt::MetaModifier, 133}} << std::optional<Shortcut>()
            << 0;
        QTest::addRow("a key without a position is ignored")
            << QList<Press>{{Qt::Key_Print, Qt::ControlModifier, 107}} << std::optional<Shortcut>()
            << 0;
        QTest::addRow("keypad and AltGr are no modifiers")
            << QList<Press>{{Qt::Key_A, Qt::KeypadModifier | Qt::GroupSwitchModifier, 38}}
            << std::optional<Shortcut>() << 0;
        QTest::addRow("the key is where it sits, not what it types")
            << QList<Press>{{Qt::Key_A, Qt::ControlModifier, 24}} // A typed on the Q key (AZERTY)
            << std::optional(Shortcut{12, 4096}) << 0;
        QTest::addRow("only the first combination counts")
            << QList<Press>{kShiftA, {Qt::Key_V, Qt::ControlModifier, 55}}
            << std::optional(Shortcut{0, 512}) << 1;
    }

    void recording()
    {
        QFETCH(QList<Press>, presses);
        QFETCH(std::optional<Shortcut>, expected);
        QFETCH(int, passedOn);
        ShortcutRecorder recorder(m_fake);
        KeyTarget target;
        Results results;

        recorder.recordShortcut(&target, results.completion());
        sendAll(target, presses);

        // Every press was swallowed while recording, the recorded one included.
        QCOMPARE(target.keyEvents, passedOn);
        if (expected) {
            QVERIFY(!recorder.isRecording());
            QTRY_COMPARE(results.values.size(), 1);
            QCOMPARE(results.values.first(), expected);
        } else {
            QVERIFY(recorder.isRecording());
            QCoreApplication::sendPostedEvents();
            QVERIFY(results.values.isEmpty());
        }
        // Once idle, key presses reach the application again.
        recorder.finishRecording(std::nullopt);
        sendAll(target, {kA});
        QCOMPARE(target.keyEvents, passedOn + 1);
    }

    void shortcutOverrideIsSwallowedWhileRecording()
    {
        ShortcutRecorder recorder(m_fake);
        KeyTarget target;
        Results results;
        recorder.recordShortcut(&target, results.completion());

        QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Q, Qt::ControlModifier, 24, 0, 0);
        override.ignore();
        QCoreApplication::sendEvent(&target, &override);

        // Accepted, it keeps application shortcuts (Ctrl+Q: quit) from firing.
        QVERIFY(override.isAccepted());
        QCOMPARE(target.keyEvents, 0);
        QVERIFY(recorder.isRecording());
    }

    void newRecordingEndsTheEarlierWithNothing()
    {
        ShortcutRecorder recorder(m_fake);
        KeyTarget target;
        Results first;
        Results second;

        recorder.recordShortcut(&target, first.completion());
        recorder.recordShortcut(&target, second.completion());
        QVERIFY(recorder.isRecording());
        QCOMPARE(first.values.size(), 0); // not inside the call
        QTRY_COMPARE(first.values.size(), 1);
        QCOMPARE(first.values.first(), std::nullopt);
        QVERIFY(second.values.isEmpty());

        sendAll(target, {kShiftA});
        QTRY_COMPARE(second.values.size(), 1);
        QCOMPARE(second.values.first(), std::optional(Shortcut{0, 512}));
        QCOMPARE(first.values.size(), 1);
    }

    void finishRecording()
    {
        ShortcutRecorder recorder(m_fake);
        QSignalSpy recordingSpy(&recorder, &ShortcutRecorder::isRecordingChanged);
        KeyTarget target;
        Results results;

        recorder.finishRecording(std::nullopt); // idle: nothing happens
        QCOMPARE(recordingSpy.count(), 0);

        recorder.recordShortcut(&target, results.completion());
        recorder.finishRecording(std::nullopt);
        recorder.finishRecording(Shortcut{0, 512}); // nothing left to resume
        QTRY_COMPARE(results.values.size(), 1);
        QCOMPARE(results.values.first(), std::nullopt);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(results.values.size(), 1);
        QCOMPARE(recordingSpy.count(), 2);
    }

    void destroyedRecorderEndsTheRecordingWithNothing()
    {
        KeyTarget target;
        Results results;
        {
            ShortcutRecorder recorder(m_fake);
            recorder.recordShortcut(&target, results.completion());
        }
        QTRY_COMPARE(results.values.size(), 1);
        QCOMPARE(results.values.first(), std::nullopt);
        sendAll(target, {kA});
        QCOMPARE(target.keyEvents, 1);
    }

    void completionIsDroppedWithItsContext()
    {
        ShortcutRecorder recorder(m_fake);
        KeyTarget target;
        Results results;
        auto context = std::make_unique<QObject>();
        recorder.recordShortcut(context.get(), results.completion());
        sendAll(target, {kShiftA});
        context.reset();
        QCoreApplication::sendPostedEvents();
        QVERIFY(results.values.isEmpty());
    }
};

BRIVET_TEST_CLASS(TestShortcutRecorder)
#include "tst_shortcutrecorder.moc"

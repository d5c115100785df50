#include "hotkey/HotkeyManager.h"
#include "platform/x11/X11GlobalHotkey.h"
#include "support/RunProgram.h"
#include "support/TestMain.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace brivet;

namespace {

constexpr quint32 kV = 9;
constexpr quint32 kQ = 12;
constexpr quint32 kB = 11;
constexpr quint32 kSuperShift = HotkeyModifier::Command | HotkeyModifier::Shift;
constexpr quint32 kCtrlAlt = HotkeyModifier::Control | HotkeyModifier::Option;

using test::runProgram;
using test::xdotool;

bool press(const QString& keys)
{
    return xdotool({QStringLiteral("key"), keys});
}

// A keyboard setting as `xset q` shows it ("Caps Lock", "auto repeat").
bool isOn(const QString& name)
{
    QProcess xset;
    xset.start(QStringLiteral("xset"), {QStringLiteral("q")});
    xset.waitForFinished(20000);
    const QString output = QString::fromLocal8Bit(xset.readAllStandardOutput());
    return QRegularExpression(name + QStringLiteral(":\\s+on")).match(output).hasMatch();
}

// Another X client holding a combination (the test's brivet_hotkey_grabber).
class OtherClient
{
public:
    bool grab(quint32 x11KeyCode, quint32 x11Modifiers, bool withLocks)
    {
        QStringList arguments{QString::number(x11KeyCode), QString::number(x11Modifiers)};
        if (withLocks)
            arguments << QStringLiteral("--with-locks");
        m_process.start(QStringLiteral(BRIVET_HOTKEY_GRABBER), arguments);
        if (!m_process.waitForStarted(10000))
            return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(10000))
                return false;
        }
        const QByteArray line = m_process.readLine().trimmed();
        const QList<QByteArray> words = line.split(' ');
        return words.size() == 4 && words[0] == "grabbed" && words[1] == words[3];
    }
    ~OtherClient()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }

private:
    QProcess m_process;
};

} // namespace

// X11GlobalHotkey on a real X server (Xvfb), pressed with xdotool. A press that must not arrive
// is checked by pressing a second registered combination afterwards: X delivers in order, so
// once that one has arrived the first would have too.
class TestX11GlobalHotkey : public QObject
{
    Q_OBJECT

private:
    // Presses the control combination and waits until the handlers have counted it.
    void pressControlAndSettle(int expectedBefore)
    {
        QVERIFY(press(QStringLiteral("ctrl+alt+b")));
        QTRY_COMPARE(m_presses, expectedBefore + 1);
        m_presses = expectedBefore;
    }

    std::unique_ptr<X11GlobalHotkey> m_hotkey;
    int m_presses = 0;
    std::optional<HotkeyRegistrationId> m_control;

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "runs under an X server");
        QVERIFY2(runProgram(QStringLiteral("xdotool"), {QStringLiteral("version")}),
                 "needs xdotool");
    }

    void init()
    {
        m_presses = 0;
        m_hotkey = std::make_unique<X11GlobalHotkey>();
        QVERIFY(m_hotkey->isAvailable());
        QVERIFY(m_hotkey->installHandler([this] { ++m_presses; }));
        m_control = m_hotkey->registerHotkey(kB, kCtrlAlt);
        QVERIFY(m_control);
    }

    void cleanup() { m_hotkey.reset(); }

    void onePressOneCall()
    {
        QVERIFY(m_hotkey->registerHotkey(kV, kSuperShift));
        QVERIFY(press(QStringLiteral("super+shift+v")));
        QTRY_COMPARE(m_presses, 1);
        pressControlAndSettle(1);

        // Other modifiers make another combination.
        QVERIFY(press(QStringLiteral("super+v")));
        QVERIFY(press(QStringLiteral("ctrl+super+shift+v")));
        pressControlAndSettle(1);
    }

    void locksDoNotMatter_data()
    {
        QTest::addColumn<QStringList>("locks");
        QTest::addRow("Num Lock") << QStringList{QStringLiteral("Num Lock")};
        QTest::addRow("Caps Lock") << QStringList{QStringLiteral("Caps Lock")};
        QTest::addRow("both") << QStringList{QStringLiteral("Num Lock"),
                                             QStringLiteral("Caps Lock")};
    }

    void locksDoNotMatter()
    {
        QFETCH(QStringList, locks);
        QVERIFY(m_hotkey->registerHotkey(kV, kSuperShift));
        // Switched off again whatever happens, for the tests that follow.
        struct Locks
        {
            QStringList names;
            void toggle() const
            {
                for (const QString& name : names)
                    xdotool({QStringLiteral("key"),
                             QString(name)
                                 .remove(QLatin1Char(' '))
                                 .replace(QStringLiteral("Lock"), QStringLiteral("_Lock"))});
            }
            ~Locks() { toggle(); }
        } held{locks};
        held.toggle();
        for (const QString& name : locks)
            QTRY_VERIFY2(isOn(name), qPrintable(name));

        QVERIFY(press(QStringLiteral("super+shift+v")));
        QTRY_COMPARE(m_presses, 1);
        pressControlAndSettle(1);
    }

    void heldKeysAreOnePress()
    {
        QVERIFY(m_hotkey->registerHotkey(kV, kSuperShift));
        QVERIFY2(isOn(QStringLiteral("auto repeat")), "a held key repeats");
        QVERIFY(xdotool({QStringLiteral("keydown"), QStringLiteral("super+shift+v")}));
        // Long enough for the server's auto-repeat (660 ms delay, 25 per second) to send several.
        QTest::qWait(1200);
        QVERIFY(xdotool({QStringLiteral("keyup"), QStringLiteral("super+shift+v")}));
        pressControlAndSettle(1);

        // Released, the next press counts again.
        QVERIFY(press(QStringLiteral("super+shift+v")));
        QTRY_COMPARE(m_presses, 2);
    }

    // Unregistered, a press is none; registered again, it counts.
    void unregisterAndRegisterAgain()
    {
        auto registration = m_hotkey->registerHotkey(kV, kSuperShift);
        QVERIFY(registration);
        m_hotkey->unregisterHotkey(*registration);
        QVERIFY(press(QStringLiteral("super+shift+v")));
        pressControlAndSettle(0);
        registration = m_hotkey->registerHotkey(kV, kSuperShift);
        QVERIFY(registration);
        QVERIFY(press(QStringLiteral("super+shift+v")));
        QTRY_COMPARE(m_presses, 1);
    }

    void removedHandlerIsNotCalled()
    {
        int removedCalls = 0;
        const auto handler = m_hotkey->installHandler([&] { ++removedCalls; });
        QVERIFY(handler);
        m_hotkey->removeHandler(*handler);
        pressControlAndSettle(0);
        QCOMPARE(removedCalls, 0);
    }

    void heldByAnotherClient_data()
    {
        QTest::addColumn<bool>("otherHoldsLocks");
        QTest::addColumn<bool>("registered");
        QTest::addRow("every lock combination held") << true << false;
        QTest::addRow("only the plain combination held") << false << true;
    }

    void heldByAnotherClient()
    {
        QFETCH(bool, otherHoldsLocks);
        QFETCH(bool, registered);
        OtherClient other;
        // Super+Shift on the V key: X key code 55, Shift (1) | Mod4 (64).
        QVERIFY(other.grab(55, 1 | 64, otherHoldsLocks));

        const auto registration = m_hotkey->registerHotkey(kV, kSuperShift);
        QCOMPARE(registration.has_value(), registered);

        // The plain press goes to the other client.
        QVERIFY(press(QStringLiteral("super+shift+v")));
        pressControlAndSettle(0);
        if (registered) {
            // With Num Lock on, the combination Brivet holds is pressed.
            QVERIFY(press(QStringLiteral("Num_Lock")));
            QVERIFY(press(QStringLiteral("super+shift+v")));
            QVERIFY(press(QStringLiteral("Num_Lock")));
            QTRY_COMPARE(m_presses, 1);
        }
    }

    void sameKeyInEveryLayout()
    {
        // The Q position types "a" in the French layout; the shortcut stays on the position.
        QVERIFY(m_hotkey->registerHotkey(kQ, kSuperShift));
        QVERIFY(runProgram(QStringLiteral("setxkbmap"), {QStringLiteral("fr")}));
        struct Restore
        {
            ~Restore() { runProgram(QStringLiteral("setxkbmap"), {QStringLiteral("us")}); }
        } restore;
        QVERIFY(press(QStringLiteral("super+shift+a")));
        QTRY_COMPARE(m_presses, 1);
        QVERIFY(press(QStringLiteral("super+shift+q")));
        pressControlAndSettle(1);
    }

    void grabsFollowTheModifierMapping()
    {
        QVERIFY(m_hotkey->registerHotkey(kV, kSuperShift));
        // Num Lock moves from Mod2 to Mod3: the grabs made for Mod2 no longer match.
        QVERIFY(runProgram(QStringLiteral("xmodmap"),
                           {QStringLiteral("-e"), QStringLiteral("clear mod2"),
                            QStringLiteral("-e"), QStringLiteral("add mod3 = Num_Lock")}));
        struct Restore
        {
            ~Restore()
            {
                press(QStringLiteral("Num_Lock"));
                runProgram(QStringLiteral("xmodmap"),
                           {QStringLiteral("-e"), QStringLiteral("clear mod3"),
                            QStringLiteral("-e"), QStringLiteral("add mod2 = Num_Lock")});
            }
        } restore;
        QVERIFY(press(QStringLiteral("Num_Lock")));
        QTRY_VERIFY(isOn(QStringLiteral("Num Lock")));

        // The new grabs follow the mapping change asynchronously: press until one arrives.
        for (int attempt = 0; attempt < 10 && m_presses == 0; ++attempt) {
            QVERIFY(press(QStringLiteral("super+shift+v")));
            if (QTest::qWaitFor([this] { return m_presses > 0; }, 1000))
                break;
        }
        QVERIFY(m_presses > 0);
    }
};

BRIVET_TEST_CLASS(TestX11GlobalHotkey)
#include "tst_x11globalhotkey.moc"

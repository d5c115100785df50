// XdgAutostart on a temporary autostart folder: what reads as "starts at login", and entries
// for programs under awkward paths.
#include "platform/linux/XdgAutostart.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace brivet;

class TestXdgAutostart : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // An executable file at dir/relative.
    QString program(const QString& relative)
    {
        const QString path = m_dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("#!/bin/sh\n");
        file.setPermissions(file.permissions() | QFile::ExeOwner);
        return path;
    }

private slots:
    void readsEntries_data()
    {
        QTest::addColumn<QString>("entry"); // %1: an executable named brivet
        QTest::addColumn<bool>("registered");
        QTest::newRow("own") << "Exec=%1\n" << true;
        QTest::newRow("own, with an argument") << "Exec=%1 --hide\n" << true;
        QTest::newRow("hidden") << "Exec=%1\nHidden=true\n" << false;
        QTest::newRow("off for GNOME") << "Exec=%1\nX-GNOME-Autostart-enabled=false\n" << false;
        QTest::newRow("another program") << "Exec=/bin/sh %1\n" << false;
        QTest::newRow("gone") << "Exec=%1-gone/brivet\n" << false;
        QTest::newRow("broken quoting") << "Exec=\"%1\n" << false;
        QTest::newRow("no Exec") << "Comment=%1\n" << false;
    }
    void readsEntries()
    {
        QFETCH(QString, entry);
        QFETCH(bool, registered);
        XdgAutostart autostart(m_dir.filePath("autostart"), {});
        QDir().mkpath(m_dir.filePath("autostart"));
        QFile file(autostart.entryPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            ("[Desktop Entry]\nType=Application\n" + entry.arg(program("bin/brivet"))).toUtf8());
        file.close();
        QCOMPARE(autostart.isRegistered(), registered);
    }

    // Written, read back as registered, and its Exec names exactly the program (a plain path:
    // test_shell.py).
    void writesAwkwardPaths_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("space") << "my apps/brivet";
        QTest::newRow("quotes, dollar, backslash") << "we\"ird $HOME \\x `y`/brivet";
        QTest::newRow("percent") << "100%/brivet";
    }
    void writesAwkwardPaths()
    {
        QFETCH(QString, relative);
        const QString path = program(relative);
        XdgAutostart autostart(m_dir.filePath("config/autostart"), path);
        QCOMPARE(autostart.setRegistered(true), std::nullopt);
        QVERIFY(autostart.isRegistered());
        QCOMPARE(XdgAutostart::splitExec(XdgAutostart::quoteExecArgument(path)), QStringList{path});
        QCOMPARE(autostart.setRegistered(false), std::nullopt);
        QVERIFY(!QFile::exists(autostart.entryPath()));
        QCOMPARE(autostart.setRegistered(false), std::nullopt); // nothing to remove
    }
};

BRIVET_TEST_CLASS(TestXdgAutostart)
#include "tst_xdgautostart.moc"

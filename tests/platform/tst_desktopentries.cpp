// DesktopEntries on desktop files written to temporary data directories.

#include "platform/linux/DesktopEntries.h"
#include "support/TestContent.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace brivet;

using Files = QMap<QString, QByteArray>; // "user/foo.desktop" or "system/foo.desktop" -> text

Q_DECLARE_METATYPE(DesktopEntries::WindowHints)

namespace {

QByteArray app(const QByteArray& body)
{
    return "[Desktop Entry]\nType=Application\nExec=true\n" + body;
}

using test::writeFile;

DesktopEntries::WindowHints windowClass(const QString& instance, const QString& wmClass)
{
    DesktopEntries::WindowHints hints;
    hints.wmInstance = instance;
    hints.wmClass = wmClass;
    return hints;
}

} // namespace

class TestDesktopEntries : public QObject
{
    Q_OBJECT

private slots:
    void forWindow_data();
    void forWindow();
    void newFilesAreFound();

private:
    QTemporaryDir m_dir;
};

void TestDesktopEntries::forWindow_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<DesktopEntries::WindowHints>("hints");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("id"); // empty: no entry
    QTest::addColumn<QString>("name");

    DesktopEntries::WindowHints gtk = windowClass("gnome-text-editor", "Gnome-text-editor");
    gtk.applicationId = "org.gnome.TextEditor";
    QTest::addRow("GTK application id")
        << Files{{"system/org.gnome.TextEditor.desktop", app("Name=Text Editor\n")}} << gtk << "C"
        << "org.gnome.TextEditor"
        << "Text Editor";

    DesktopEntries::WindowHints kde = windowClass("kate", "kate");
    kde.desktopFile = "/usr/share/applications/org.kde.kate.desktop";
    QTest::addRow("KDE desktop file given as a path")
        << Files{{"system/org.kde.kate.desktop", app("Name=Kate\n")},
                 {"system/kate.desktop", app("Name=Wrong Kate\n")}}
        << kde << "C"
        << "org.kde.kate"
        << "Kate";

    QTest::addRow("StartupWMClass")
        << Files{{"system/firefox-esr.desktop",
                  app("Name=Firefox ESR\nStartupWMClass=Firefox-esr\n")}}
        << windowClass("Navigator", "Firefox-esr") << "C"
        << "firefox-esr"
        << "Firefox ESR";
    QTest::addRow("StartupWMClass naming the instance")
        << Files{{"system/org.example.Tool.desktop", app("Name=Tool\nStartupWMClass=tool-main\n")}}
        << windowClass("tool-main", "Tool") << "C"
        << "org.example.Tool"
        << "Tool";
    QTest::addRow("lower-cased class") << Files{{"system/inkscape.desktop", app("Name=Inkscape\n")}}
                                       << windowClass("org.inkscape.Inkscape", "Inkscape") << "C"
                                       << "inkscape"
                                       << "Inkscape";
    QTest::addRow("no matching file") << Files{{"system/inkscape.desktop", app("Name=Inkscape\n")}}
                                      << windowClass("xmessage", "Xmessage") << "C"
                                      << ""
                                      << "";
    QTest::addRow("file in a subdirectory")
        << Files{{"system/kde4/okular.desktop", app("Name=Okular\n")}}
        << windowClass("okular", "kde4-okular") << "C"
        << "kde4-okular"
        << "Okular";

    const QByteArray localized = app("Name=Files\nName[de]=Dateien\nName[de_AT]=Dateien (AT)\n"
                                     "Name[sr@latin]=Datoteke\n");
    const Files nautilus{{"system/org.gnome.Nautilus.desktop", localized}};
    const auto files = windowClass("org.gnome.Nautilus", "org.gnome.Nautilus");
    QTest::addRow("localized name") << nautilus << files << "de_DE.UTF-8"
                                    << "org.gnome.Nautilus"
                                    << "Dateien";
    QTest::addRow("country beats language") << nautilus << files << "de_AT.UTF-8"
                                            << "org.gnome.Nautilus"
                                            << "Dateien (AT)";
    QTest::addRow("modifier") << nautilus << files << "sr_RS.UTF-8@latin"
                              << "org.gnome.Nautilus"
                              << "Datoteke";
    QTest::addRow("untranslated locale") << nautilus << files << "fr_FR.UTF-8"
                                         << "org.gnome.Nautilus"
                                         << "Files";
    QTest::addRow("escapes in the name")
        << Files{{"system/spaced.desktop", app("Name=\\sTwo\\sWords\\\\\n")}}
        << windowClass("spaced", "Spaced") << "C"
        << "spaced"
        << " Two Words\\";

    QTest::addRow("user directory wins")
        << Files{{"system/editor.desktop", app("Name=System Editor\n")},
                 {"user/editor.desktop", app("Name=My Editor\n")}}
        << windowClass("editor", "Editor") << "C"
        << "editor"
        << "My Editor";
    QTest::addRow("hidden in the user directory")
        << Files{{"system/editor.desktop", app("Name=System Editor\n")},
                 {"user/editor.desktop", app("Name=Gone\nHidden=true\n")}}
        << windowClass("editor", "Editor") << "C"
        << ""
        << "";
    QTest::addRow("links are not applications")
        << Files{{"system/site.desktop", "[Desktop Entry]\nType=Link\nName=Site\nURL=x\n"}}
        << windowClass("site", "Site") << "C"
        << ""
        << "";
    QTest::addRow("keys of other groups are ignored")
        << Files{{"system/multi.desktop", app("Name=Multi\n[Desktop Action new]\nName=New Window\n"
                                              "StartupWMClass=Other\n")}}
        << windowClass("other", "Other") << "C"
        << ""
        << "";
}

void TestDesktopEntries::forWindow()
{
    QFETCH(Files, files);
    QFETCH(DesktopEntries::WindowHints, hints);
    QFETCH(QString, locale);
    QFETCH(QString, id);
    QFETCH(QString, name);

    QTemporaryDir dir;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString top = it.key().section('/', 0, 0);
        const QString rest = it.key().section('/', 1);
        writeFile(dir.filePath(top + "/applications/" + rest), it.value());
    }
    DesktopEntries entries({dir.filePath("user"), dir.filePath("system")}, locale);
    const std::optional<DesktopEntries::Entry> entry = entries.forWindow(hints);
    if (id.isEmpty()) {
        QVERIFY2(!entry, qPrintable(entry ? entry->id : QString()));
        return;
    }
    QVERIFY(entry);
    QCOMPARE(entry->id, id);
    QCOMPARE(entry->name, name);
}

void TestDesktopEntries::newFilesAreFound()
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("applications"));
    DesktopEntries entries({dir.path()}, "C");
    QVERIFY(!entries.byId("late"));
    writeFile(dir.filePath("applications/late.desktop"), app("Name=Installed Later\n"));
    const auto entry = entries.byId("late");
    QVERIFY(entry);
    QCOMPARE(entry->name, QString("Installed Later"));
}

BRIVET_TEST_CLASS(TestDesktopEntries)
#include "tst_desktopentries.moc"

// DesktopEntries on desktop files written to temporary data directories.
#include "platform/linux/DesktopEntries.h"
#include "support/TestContent.h"
#include "support/TestMain.h"

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

// hints: "instance class [gtk-id|/desktop-file]"
void row(const char* name, const Files& files, const QString& hints, const char* locale,
         const char* id, const char* entryName = "")
{
    const QStringList words = hints.split(' ');
    DesktopEntries::WindowHints h;
    h.wmInstance = words[0];
    h.wmClass = words[1];
    if (words.size() > 2)
        (words[2].startsWith('/') ? h.desktopFile : h.applicationId) = words[2];
    QTest::newRow(name) << files << h << QString(locale) << QString(id)
                        << QString::fromUtf8(entryName);
}

} // namespace

class TestDesktopEntries : public QObject
{
    Q_OBJECT

private slots:
    void forWindow_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<DesktopEntries::WindowHints>("hints");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("id"); // empty: no entry
        QTest::addColumn<QString>("name");
        const Files nautilus{
            {"system/org.gnome.Nautilus.desktop", app("Name=Files\nName[de]=Dateien\nName[de_AT]="
                                                      "Dateien (AT)\nName[sr@latin]=Datoteke\n")}};
        const QString files = "org.gnome.Nautilus org.gnome.Nautilus";
        const QByteArray editor = app("Name=System Editor\n");
        // clang-format off
        row("GTK application id", {{"system/org.gnome.TextEditor.desktop", app("Name=Text Editor\n")}}, "gnome-text-editor Gnome-text-editor org.gnome.TextEditor", "C", "org.gnome.TextEditor", "Text Editor");
        row("KDE desktop file path", {{"system/org.kde.kate.desktop", app("Name=Kate\n")}, {"system/kate.desktop", app("Name=Wrong\n")}}, "kate kate /usr/share/applications/org.kde.kate.desktop", "C", "org.kde.kate", "Kate");
        row("StartupWMClass", {{"system/firefox-esr.desktop", app("Name=Firefox ESR\nStartupWMClass=Firefox-esr\n")}}, "Navigator Firefox-esr", "C", "firefox-esr", "Firefox ESR");
        row("StartupWMClass naming the instance", {{"system/org.example.Tool.desktop", app("Name=Tool\nStartupWMClass=tool-main\n")}}, "tool-main Tool", "C", "org.example.Tool", "Tool");
        row("lower-cased class", {{"system/inkscape.desktop", app("Name=Inkscape\n")}}, "org.inkscape.Inkscape Inkscape", "C", "inkscape", "Inkscape");
        row("no matching file", {{"system/inkscape.desktop", app("Name=Inkscape\n")}}, "xmessage Xmessage", "C", "");
        row("subdirectory", {{"system/kde4/okular.desktop", app("Name=Okular\n")}}, "okular kde4-okular", "C", "kde4-okular", "Okular");
        row("localized name", nautilus, files, "de_DE.UTF-8", "org.gnome.Nautilus", "Dateien");
        row("country beats language", nautilus, files, "de_AT.UTF-8", "org.gnome.Nautilus", "Dateien (AT)");
        row("modifier", nautilus, files, "sr_RS.UTF-8@latin", "org.gnome.Nautilus", "Datoteke");
        row("untranslated locale", nautilus, files, "fr_FR.UTF-8", "org.gnome.Nautilus", "Files");
        row("escapes", {{"system/spaced.desktop", app("Name=\\sTwo\\sWords\\\\\n")}}, "spaced Spaced", "C", "spaced", " Two Words\\");
        row("user directory wins", {{"system/editor.desktop", editor}, {"user/editor.desktop", app("Name=My Editor\n")}}, "editor Editor", "C", "editor", "My Editor");
        row("hidden by the user", {{"system/editor.desktop", editor}, {"user/editor.desktop", app("Name=Gone\nHidden=true\n")}}, "editor Editor", "C", "");
        row("links are not applications", {{"system/site.desktop", "[Desktop Entry]\nType=Link\nName=Site\nURL=x\n"}}, "site Site", "C", "");
        row("keys of other groups", {{"system/multi.desktop", app("Name=Multi\n[Desktop Action new]\nStartupWMClass=Other\n")}}, "other Other", "C", "");
        // clang-format on
    }
    void forWindow()
    {
        QFETCH(Files, files);
        QFETCH(DesktopEntries::WindowHints, hints);
        QFETCH(QString, locale);
        QFETCH(QString, id);
        QFETCH(QString, name);
        QTemporaryDir dir;
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            test::writeFile(dir.filePath(it.key().section('/', 0, 0) + "/applications/" +
                                         it.key().section('/', 1)),
                            it.value());
        const auto entry =
            DesktopEntries({dir.filePath("user"), dir.filePath("system")}, locale).forWindow(hints);
        QCOMPARE(entry ? entry->id : QString(), id);
        QCOMPARE(entry ? entry->name : QString(), name);
    }

    void newFilesAreFound()
    {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath("applications"));
        DesktopEntries entries({dir.path()}, "C");
        QVERIFY(!entries.byId("late"));
        test::writeFile(dir.filePath("applications/late.desktop"), app("Name=Later\n"));
        QCOMPARE(entries.byId("late")->name, QString("Later"));
    }
};

BRIVET_TEST_CLASS(TestDesktopEntries)
#include "tst_desktopentries.moc"

"""The package and what ships with the binary: the Debian package made by cpack (its files and
its dependencies, against the Qt Quick modules the panel imports), the AppStream metainfo and
the desktop entry, the manual page and shell completions against `brivet --help`, and the
translations against the texts of the sources."""

import glob
import json
import os
import re
import subprocess
import tempfile
import unittest

BINARY = os.environ["BRIVET_BINARY"]
BUILD_DIR = os.environ["BRIVET_BUILD_DIR"]
SOURCE_DIR = os.path.join(os.path.dirname(__file__), "..", "..")
DATA = os.path.join(SOURCE_DIR, "data")
QML_IMPORTS = "/usr/lib/x86_64-linux-gnu/qt6/qml"


def run(*command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, **kwargs).stdout


def help_options():
    return set(re.findall(r"^\s+(-[-a-z]+)", run(BINARY, "--help"), re.MULTILINE)) | {"-h"}


class PackageTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.out = tempfile.TemporaryDirectory(prefix="brivet-package-")
        run("cpack", "-G", "DEB", "-B", cls.out.name, cwd=BUILD_DIR)
        cls.deb = next(os.path.join(cls.out.name, name) for name in os.listdir(cls.out.name)
                       if name.endswith(".deb"))

    @classmethod
    def tearDownClass(cls):
        cls.out.cleanup()

    def test_the_package_holds_the_program_and_what_desktops_read(self):
        contents = run("dpkg-deb", "--contents", self.deb)
        for path in ["./usr/bin/brivet", "./usr/share/applications/com.brivet.Brivet.desktop",
                     "./usr/share/metainfo/com.brivet.Brivet.metainfo.xml",
                     "./usr/share/icons/hicolor/scalable/apps/com.brivet.Brivet.svg",
                     "./usr/share/man/man1/brivet.1",
                     "./usr/share/bash-completion/completions/brivet",
                     "./usr/share/zsh/vendor-completions/_brivet"]:
            self.assertIn(path, contents)
        # The menu entry names the installed binary.
        with tempfile.TemporaryDirectory() as unpacked:
            run("dpkg-deb", "--extract", self.deb, unpacked)
            with open(os.path.join(unpacked, "usr/share/applications/com.brivet.Brivet.desktop")) as entry:
                self.assertIn("\nExec=/usr/bin/brivet\n", entry.read())

    def test_every_qt_quick_module_the_panel_imports_comes_with_a_dependency(self):
        """The package of each installed module the QML imports (directly or through another
        module) is a dependency of the package, or one of theirs."""
        depends = run("dpkg-deb", "--field", self.deb, "Depends")
        wanted = {re.match(r"\s*([^ (]+)", part).group(1) for part in depends.split(",")}
        reachable, todo = set(), list(wanted)
        while todo:
            package = todo.pop()
            if package in reachable:
                continue
            reachable.add(package)
            found = subprocess.run(["dpkg-query", "-W", "-f=${Depends},${Pre-Depends}", package],
                                   capture_output=True, text=True).stdout
            todo += [re.match(r"\s*([^ (:]+)", part).group(1)
                     for part in found.replace("|", ",").split(",") if part.strip()]
        imports = json.loads(run("/usr/lib/qt6/libexec/qmlimportscanner", "-rootPath",
                                 os.path.join(SOURCE_DIR, "src"), "-importPath", QML_IMPORTS))
        modules = {module["path"] for module in imports
                   if module.get("path", "").startswith(QML_IMPORTS)}
        self.assertIn(f"{QML_IMPORTS}/QtQuick/Controls", modules)
        for path in sorted(modules):
            owner = run("dpkg", "-S", os.path.join(path, "qmldir")).split(":")[0]
            self.assertTrue(owner in reachable, f"{path} comes with {owner}, not a dependency")


class FilesTest(unittest.TestCase):

    def test_metainfo_and_desktop_entry_are_valid(self):
        run("appstreamcli", "validate", "--no-net",
            os.path.join(DATA, "com.brivet.Brivet.metainfo.xml"))
        run("desktop-file-validate", os.path.join(DATA, "com.brivet.Brivet.desktop"))

    def test_manual_page_and_completions_name_the_options_of_the_help(self):
        options = help_options()
        self.assertIn("--toggle", options)
        with open(os.path.join(DATA, "brivet.1")) as page:
            text = page.read()
        section = text.split(".SH OPTIONS", 1)[1].split(".SH ", 1)[0]
        documented = {option.replace("\\-", "-")
                      for line in section.splitlines() if line.startswith((".B ", ".BR "))
                      for option in re.findall(r"\\-[-a-z\\]*[a-z]", line)}
        self.assertEqual(documented, options)
        with open(os.path.join(DATA, "completions", "brivet.bash")) as bash:
            self.assertEqual(set(re.search(r"-W '([^']*)'", bash.read()).group(1).split()),
                             options - {"-h"})
        with open(os.path.join(DATA, "completions", "_brivet")) as zsh:
            self.assertEqual(set(re.findall(r"[{,')](--?[a-z]+)", zsh.read())), options)


class TranslationTest(unittest.TestCase):

    def test_every_text_the_qml_shows_is_marked_for_translation(self):
        shown = re.compile(r"\b(text|title|placeholderText|label|Accessible\.name|"
                           r"Accessible\.description|ToolTip\.text)\s*:\s*[\"']")
        unmarked = []
        for path in glob.glob(os.path.join(SOURCE_DIR, "src", "**", "*.qml"), recursive=True):
            with open(path, encoding="utf-8") as qml:
                for number, line in enumerate(qml, 1):
                    if shown.search(line):
                        unmarked.append(f"{os.path.basename(path)}:{number}: {line.strip()}")
        self.assertEqual(unmarked, [])

    def test_the_german_translation_has_every_text_of_the_sources(self):
        with tempfile.TemporaryDirectory() as folder:
            ts = os.path.join(folder, "brivet_de.ts")
            with open(os.path.join(SOURCE_DIR, "translations", "brivet_de.ts"), "rb") as source, \
                    open(ts, "wb") as copy:
                copy.write(source.read())
            sources = [path for pattern in ("*.cpp", "*.h", "*.qml") for path in
                       glob.glob(os.path.join(SOURCE_DIR, "src", "**", pattern), recursive=True)]
            run("/usr/lib/qt6/bin/lupdate", "-no-obsolete", "-locations", "none",
                "-I", os.path.join(SOURCE_DIR, "src"), *sources, "-ts", ts)
            with open(ts, encoding="utf-8") as updated:
                text = updated.read()
            untranslated = re.findall(r"<source>([^<]*)</source>\s*<translation type=\"unfinished\"",
                                      text)
            self.assertEqual(untranslated, [])


if __name__ == "__main__":
    unittest.main()

<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="de_DE">
<context>
    <name>CategoryBarView</name>
    <message>
        <source>Categories</source>
        <translation>Kategorien</translation>
    </message>
    <message>
        <source>New Category</source>
        <translation>Neue Kategorie</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
</context>
<context>
    <name>CategoryEditorView</name>
    <message>
        <source>Edit Category</source>
        <translation>Kategorie bearbeiten</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Color</source>
        <translation>Farbe</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Sichern</translation>
    </message>
</context>
<context>
    <name>ClipboardCardView</name>
    <message>
        <source>Ctrl+%1</source>
        <translation>Ctrl+%1</translation>
    </message>
    <message>
        <source>number %1 in the paste stack</source>
        <translation>Nummer %1 im Einfügestapel</translation>
    </message>
</context>
<context>
    <name>ClipboardPanelView</name>
    <message>
        <source>Clipboard history</source>
        <translation>Verlauf der Zwischenablage</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>No clipboard items</source>
        <translation>Keine Einträge in der Zwischenablage</translation>
    </message>
    <message>
        <source>Pin to Category</source>
        <translation>An Kategorie anheften</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Brivet Preview</source>
        <translation>Brivet-Vorschau</translation>
    </message>
    <message>
        <source>Paste as Plain Text</source>
        <translation>Als reinen Text einfügen</translation>
    </message>
    <message>
        <source>Deleted</source>
        <translation>Gelöscht</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Undo delete</source>
        <translation>Löschen rückgängig machen</translation>
    </message>
    <message>
        <source>Never Record from %1</source>
        <translation>Nie aus %1 aufnehmen</translation>
    </message>
</context>
<context>
    <name>HistorySection</name>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>Pinned items are always kept. Older items go first, at start and every hour.</source>
        <translation>Angeheftete Einträge bleiben immer erhalten. Ältere Einträge gehen zuerst, beim Start und stündlich.</translation>
    </message>
    <message>
        <source>Keep</source>
        <translation>Behalten</translation>
    </message>
    <message>
        <source>Everything</source>
        <translation>Alles</translation>
    </message>
    <message>
        <source>The Newest Items</source>
        <translation>Die neuesten Einträge</translation>
    </message>
    <message>
        <source>Items of the Last Days</source>
        <translation>Einträge der letzten Tage</translation>
    </message>
    <message>
        <source>Up to a Size</source>
        <translation>Bis zu einer Größe</translation>
    </message>
    <message>
        <source>Items</source>
        <translation>Einträge</translation>
    </message>
    <message>
        <source>Days</source>
        <translation>Tage</translation>
    </message>
    <message>
        <source>Megabytes</source>
        <translation>Megabyte</translation>
    </message>
    <message>
        <source>Limit</source>
        <translation>Grenze</translation>
    </message>
    <message>
        <source>Removing items...</source>
        <translation>Einträge werden entfernt …</translation>
    </message>
    <message>
        <source>Remove every item</source>
        <translation>Alle Einträge entfernen</translation>
    </message>
    <message>
        <source>Clear History...</source>
        <translation>Verlauf löschen …</translation>
    </message>
    <message>
        <source>Archive</source>
        <translation>Archiv</translation>
    </message>
    <message>
        <source>Export...</source>
        <translation>Exportieren …</translation>
    </message>
    <message>
        <source>Export History</source>
        <translation>Verlauf exportieren</translation>
    </message>
    <message>
        <source>Import...</source>
        <translation>Importieren …</translation>
    </message>
    <message>
        <source>Import History</source>
        <translation>Verlauf importieren</translation>
    </message>
    <message>
        <source>Brivet history (*.tar)</source>
        <translation>Brivet-Verlauf (*.tar)</translation>
    </message>
    <message>
        <source>Clear History</source>
        <translation>Verlauf löschen</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Items to be removed: %1</source>
        <translation>Zu entfernende Einträge: %1</translation>
    </message>
    <message>
        <source>This cannot be undone.</source>
        <translation>Dies kann nicht rückgängig gemacht werden.</translation>
    </message>
    <message>
        <source>Also remove pinned items (%1)</source>
        <translation>Auch angeheftete Einträge entfernen (%1)</translation>
    </message>
</context>
<context>
    <name>IgnoredApplicationsSection</name>
    <message>
        <source>Ignored Applications</source>
        <translation>Ignorierte Programme</translation>
    </message>
    <message>
        <source>Copies made in these applications are never read. Add one with "Never Record from" in a card's menu.</source>
        <translation>Was in diesen Programmen kopiert wird, wird nie gelesen. Programme fügen Sie mit „Nie aus … aufnehmen“ im Menü einer Karte hinzu.</translation>
    </message>
    <message>
        <source>No ignored applications</source>
        <translation>Keine ignorierten Programme</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Record %1 again</source>
        <translation>%1 wieder aufnehmen</translation>
    </message>
</context>
<context>
    <name>Platform</name>
    <message>
        <source>GNOME Shell lets Brivet see the clipboard only through its GNOME Shell extension. Enable it with `gnome-extensions enable brivet@brivet.com` (or in the Extensions application), log out and in again, and restart Brivet.</source>
        <translation>GNOME Shell lässt Brivet die Zwischenablage nur über seine GNOME-Shell-Erweiterung sehen. Aktivieren Sie sie mit `gnome-extensions enable brivet@brivet.com` (oder in der Anwendung „Erweiterungen“), melden Sie sich ab und wieder an und starten Sie Brivet neu.</translation>
    </message>
    <message>
        <source>Brivet needs its GNOME Shell extension</source>
        <translation>Brivet braucht seine GNOME-Shell-Erweiterung</translation>
    </message>
</context>
<context>
    <name>PreviewView</name>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>No content</source>
        <translation>Kein Inhalt</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>Link</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
</context>
<context>
    <name>SearchBarView</name>
    <message>
        <source>Search...</source>
        <translation>Suchen …</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Clear search</source>
        <translation>Suche leeren</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Brivet Settings</source>
        <translation>Brivet-Einstellungen</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Shortcuts</source>
        <translation>Tastenkürzel</translation>
    </message>
</context>
<context>
    <name>ShortcutButton</name>
    <message>
        <source>Press shortcut...</source>
        <translation>Tastenkürzel drücken …</translation>
    </message>
    <message>
        <source>Activate Brivet: %1</source>
        <translation>Brivet aktivieren: %1</translation>
    </message>
</context>
<context>
    <name>ShortcutsSettingsView</name>
    <message>
        <source>Keyboard Shortcuts</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Click the shortcut button then press your desired key combination.</source>
        <translation>Klicken Sie auf die Tastenkürzel-Schaltfläche und drücken Sie dann die gewünschte Tastenkombination.</translation>
    </message>
    <message>
        <source>Activate Brivet</source>
        <translation>Brivet aktivieren</translation>
    </message>
    <message>
        <source>This desktop lets no program take a global shortcut.</source>
        <translation>Diese Arbeitsumgebung lässt kein Programm ein globales Tastenkürzel belegen.</translation>
    </message>
</context>
<context>
    <name>StartupSettingsSection</name>
    <message>
        <source>Startup</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Brivet will automatically launch when you log in.</source>
        <translation>Brivet startet automatisch, wenn Sie sich anmelden.</translation>
    </message>
    <message>
        <source>Open at Login</source>
        <translation>Bei der Anmeldung öffnen</translation>
    </message>
</context>
<context>
    <name>SyncSettingsSection</name>
    <message>
        <source>Sync</source>
        <translation>Sync</translation>
    </message>
    <message>
        <source>Clipboard items sync automatically across your devices through the sync folder.</source>
        <translation>Einträge der Zwischenablage werden über den Sync-Ordner automatisch zwischen Ihren Geräten abgeglichen.</translation>
    </message>
    <message>
        <source>Choose a folder that a sync service keeps in step across your devices to sync clipboard items.</source>
        <translation>Wählen Sie einen Ordner, den ein Sync-Dienst auf Ihren Geräten abgleicht, um Einträge der Zwischenablage zu synchronisieren.</translation>
    </message>
    <message>
        <source>Folder Sync</source>
        <translation>Ordner-Sync</translation>
    </message>
    <message>
        <source>Active</source>
        <translation>Aktiv</translation>
    </message>
    <message>
        <source>Unavailable</source>
        <translation>Nicht verfügbar</translation>
    </message>
    <message>
        <source>No folder chosen</source>
        <translation>Kein Ordner gewählt</translation>
    </message>
    <message>
        <source>Sync folder: %1</source>
        <translation>Sync-Ordner: %1</translation>
    </message>
    <message>
        <source>Choose Sync Folder...</source>
        <translation>Sync-Ordner wählen …</translation>
    </message>
    <message>
        <source>Unlocking...</source>
        <translation>Wird entsperrt …</translation>
    </message>
    <message>
        <source>Passphrase</source>
        <translation>Passphrase</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Festlegen</translation>
    </message>
    <message>
        <source>Set passphrase</source>
        <translation>Passphrase festlegen</translation>
    </message>
    <message>
        <source>Choose Sync Folder</source>
        <translation>Sync-Ordner wählen</translation>
    </message>
    <message>
        <source>Stop Syncing</source>
        <translation>Synchronisierung beenden</translation>
    </message>
</context>
<context>
    <name>brivet::AppDelegate</name>
    <message>
        <source>Press %1 to see what you copied and paste it again.</source>
        <translation>Drücken Sie %1, um zu sehen, was Sie kopiert haben, und es wieder einzufügen.</translation>
    </message>
    <message>
        <source>To see what you copied, bind a key to the command "brivet --toggle" in your desktop's keyboard settings.</source>
        <translation>Um zu sehen, was Sie kopiert haben, legen Sie in den Tastatureinstellungen Ihrer Arbeitsumgebung eine Taste auf den Befehl „brivet --toggle“.</translation>
    </message>
    <message>
        <source>Brivet keeps what you copy</source>
        <translation>Brivet behält, was Sie kopieren</translation>
    </message>
</context>
<context>
    <name>brivet::CategoryBarState</name>
    <message>
        <source>Clipboard History</source>
        <translation>Verlauf</translation>
    </message>
</context>
<context>
    <name>brivet::ClipboardItem</name>
    <message>
        <source>Just now</source>
        <translation>Gerade eben</translation>
    </message>
    <message>
        <source>%1 characters</source>
        <translation>%1 Zeichen</translation>
    </message>
    <message>
        <source>Image</source>
        <translation>Bild</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>Link</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>%1 File</source>
        <translation>%1-Datei</translation>
    </message>
</context>
<context>
    <name>brivet::ClipboardPanelViewState</name>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Image</source>
        <translation>Bild</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>Link</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
</context>
<context>
    <name>brivet::HistoryTransfer</name>
    <message>
        <source>Could not export the history: %1</source>
        <translation>Der Verlauf konnte nicht exportiert werden: %1</translation>
    </message>
    <message>
        <source>History exported to %1</source>
        <translation>Verlauf exportiert nach %1</translation>
    </message>
    <message>
        <source>Nothing was imported: %1</source>
        <translation>Nichts wurde importiert: %1</translation>
    </message>
    <message>
        <source>Imported %1 new items (%2 were there already), %3 categories and %4 pins</source>
        <translation>%1 neue Einträge importiert (%2 waren schon vorhanden), %3 Kategorien und %4 Anheftungen</translation>
    </message>
</context>
<context>
    <name>brivet::PasteService</name>
    <message>
        <source>Ready to paste</source>
        <translation>Bereit zum Einfügen</translation>
    </message>
    <message>
        <source>This desktop does not let Brivet paste for you: the item is on the clipboard, paste it with Ctrl+V (Ctrl+Shift+V in a terminal).</source>
        <translation>Diese Arbeitsumgebung lässt Brivet nicht für Sie einfügen: Der Eintrag liegt in der Zwischenablage, fügen Sie ihn mit Ctrl+V ein (Ctrl+Shift+V in einem Terminal).</translation>
    </message>
</context>
<context>
    <name>brivet::PortalGlobalShortcuts</name>
    <message>
        <source>Activate Brivet</source>
        <translation>Brivet aktivieren</translation>
    </message>
</context>
<context>
    <name>brivet::PreviewContent</name>
    <message>
        <source>Kind</source>
        <translation>Art</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Created</source>
        <translation>Erstellt</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>Showing the first %1 of %2 characters. The whole text is kept and pastes in full.</source>
        <translation>Die ersten %1 von %2 Zeichen werden gezeigt. Der ganze Text bleibt erhalten und wird vollständig eingefügt.</translation>
    </message>
</context>
<context>
    <name>brivet::SyncService</name>
    <message>
        <source>The passphrase does not match this sync folder.</source>
        <translation>Die Passphrase passt nicht zu diesem Sync-Ordner.</translation>
    </message>
    <message>
        <source>The sync folder cannot be read or written.</source>
        <translation>Der Sync-Ordner kann nicht gelesen oder beschrieben werden.</translation>
    </message>
    <message>
        <source>Enter the passphrase of the sync folder.</source>
        <translation>Geben Sie die Passphrase des Sync-Ordners ein.</translation>
    </message>
    <message>
        <source>Enter a passphrase to start syncing into this folder.</source>
        <translation>Geben Sie eine Passphrase ein, um in diesen Ordner zu synchronisieren.</translation>
    </message>
    <message>
        <source>The sync folder has another passphrase: enter it.</source>
        <translation>Der Sync-Ordner hat eine andere Passphrase: Geben Sie sie ein.</translation>
    </message>
    <message>
        <source>The sync state cannot be opened: %1</source>
        <translation>Der Sync-Zustand kann nicht geöffnet werden: %1</translation>
    </message>
    <message>
        <source>The sync folder holds a second key file, %1: two devices set a passphrase at the same time. Nothing syncs until it is resolved: keep key.json, delete %1 from the folder's brivet folder, then enter the passphrase on each device that asks for it.</source>
        <translation>Der Sync-Ordner enthält eine zweite Schlüsseldatei, %1: Zwei Geräte haben gleichzeitig eine Passphrase festgelegt. Bis das geklärt ist, wird nichts synchronisiert: Behalten Sie key.json, löschen Sie %1 aus dem Ordner „brivet“ des Sync-Ordners und geben Sie dann auf jedem Gerät, das danach fragt, die Passphrase ein.</translation>
    </message>
    <message>
        <source>The clock of "%1" runs more than a day ahead: its changes still sync, but set its date and time right.</source>
        <translation>Die Uhr von „%1“ geht mehr als einen Tag vor: Seine Änderungen werden weiter synchronisiert, aber stellen Sie dort Datum und Uhrzeit richtig ein.</translation>
    </message>
</context>
<context>
    <name>brivet::TrayMenu</name>
    <message>
        <source>Show Brivet</source>
        <translation>Brivet zeigen</translation>
    </message>
    <message>
        <source>Settings...</source>
        <translation>Einstellungen …</translation>
    </message>
    <message>
        <source>Ctrl+,</source>
        <translation>Ctrl+,</translation>
    </message>
    <message>
        <source>Quit Brivet</source>
        <translation>Brivet beenden</translation>
    </message>
    <message>
        <source>Ctrl+Q</source>
        <translation>Ctrl+Q</translation>
    </message>
    <message>
        <source>Pause Recording</source>
        <translation>Aufnahme anhalten</translation>
    </message>
    <message>
        <source>for 5 minutes</source>
        <translation>für 5 Minuten</translation>
    </message>
    <message>
        <source>for 1 hour</source>
        <translation>für 1 Stunde</translation>
    </message>
    <message>
        <source>until resumed</source>
        <translation>bis zur Fortsetzung</translation>
    </message>
    <message>
        <source>Resume Recording</source>
        <translation>Aufnahme fortsetzen</translation>
    </message>
    <message>
        <source>Brivet: recording paused until %1</source>
        <translation>Brivet: Aufnahme angehalten bis %1</translation>
    </message>
    <message>
        <source>Brivet: recording paused</source>
        <translation>Brivet: Aufnahme angehalten</translation>
    </message>
</context>
<context>
    <name>brivet::WaylandGlobalHotkey</name>
    <message>
        <source>Add this line to your sway configuration (~/.config/sway/config), then reload it:
bindsym Mod4+Shift+v exec %1</source>
        <translation>Fügen Sie diese Zeile Ihrer sway-Konfiguration (~/.config/sway/config) hinzu und laden Sie sie neu:
bindsym Mod4+Shift+v exec %1</translation>
    </message>
    <message>
        <source>Add this line to your Hyprland configuration (~/.config/hypr/hyprland.conf):
bind = SUPER SHIFT, V, exec, %1</source>
        <translation>Fügen Sie diese Zeile Ihrer Hyprland-Konfiguration (~/.config/hypr/hyprland.conf) hinzu:
bind = SUPER SHIFT, V, exec, %1</translation>
    </message>
    <message>
        <source>Bind this command to a key in your desktop's keyboard settings:
%1</source>
        <translation>Legen Sie diesen Befehl in den Tastatureinstellungen Ihrer Arbeitsumgebung auf eine Taste:
%1</translation>
    </message>
</context>
</TS>
#!/usr/bin/env bash
# Starts Brivet under a private X server (Xvfb + openbox) with an empty history, copies a small
# made-up history into it with xclip (texts, links, an image, files), opens the panel with the
# default shortcut and saves screenshots of it, of its category editor, of the preview of each
# kind of record and of the settings window (both tabs, the folder dialog; sync unavailable in
# the light palette, active in the dark one), in the light and the dark palette; and the panel
# natively under a headless sway (scripts/wayland-screenshot.py); also with a compositing manager,
# at a scale factor of 2 and on the second of two monitors. Copies the README's pictures to docs/.
#   scripts/screenshots.sh [output folder]      (default: build/screenshots)
# Needs a built build/src/app/brivet and build/tests/brivet_sync_unlock, and the test packages
# (scripts/install-deps.sh --with-tests).
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-build/screenshots}
binary=${BRIVET_BINARY:-build/src/app/brivet}
unlock=${BRIVET_SYNC_UNLOCK:-build/tests/brivet_sync_unlock}
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d /tmp/brivet-shots.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A private X server of that size with openbox; DISPLAY names it from here on.
start_x() {
  exec {displayfd}<> <(:)
  Xvfb -displayfd "$displayfd" -screen 0 "$1" -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  read -r -u "$displayfd" display
  export DISPLAY=":$display"
  openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
}
start_x 1440x900x24
# A session bus of its own: `brivet --settings` reaches this Brivet and no other.
exec {busfd}< <(exec dbus-daemon --session --nofork --print-address=1 2>/dev/null)
pids+=($!)
read -r -u "$busfd" DBUS_SESSION_BUS_ADDRESS
export DBUS_SESSION_BUS_ADDRESS
sleep 1
xsetroot -solid '#3b4f66'
# The desktop under a translucent panel: a picture, so that the blend shows.
desktop_picture() {
  convert -size "$1" gradient:'#3b4f66-#8a5a7a' "$work/desktop.png"
  # A window covering the screen (a compositing manager draws no root picture of display's).
  display -backdrop -borderwidth 0 "$work/desktop.png" &
  pids+=($!)
}

# OpenGL through Mesa's software rasteriser, over EGL: video frames are drawn this way.
export QT_XCB_GL_INTEGRATION=xcb_egl
export HOME=$work XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config

copy() { printf '%s' "$1" | xclip -selection clipboard -i; sleep 0.8; }
copy_file() { xclip -selection clipboard -t "$1" -i "$2"; sleep 0.8; }

# A two-page PDF with a title and a few paragraphs.
write_pdf() {
  PYTHONPATH=tests/e2e python3 - "$1" <<'PY'
import sys
from brivet_e2e import pdf_of_pages
lines = [(28, "Meeting notes"), (13, "Q3 planning, 4 December"), (11, ""),
         (11, "Attendees: Ana, Bruno, Chen, Dara"), (11, ""),
         (11, "1. Ship the clipboard preview in the next release."),
         (11, "2. Move the sync engine to the new journal format."),
         (11, "3. Review the accessibility pass of the panel."), (11, ""),
         (11, "Decisions: the roadmap stays as drafted; Bruno owns the"),
         (11, "migration notes, Chen the release checklist.")]
def page(body):
    ops, y = ["BT"], 760
    for size, text in body:
        ops.append(f"/F1 {size} Tf 1 0 0 1 72 {y} Tm ({text}) Tj")
        y -= size + 12
    return ("\n".join(ops + ["ET"])).encode()
open(sys.argv[1], "wb").write(
    pdf_of_pages([page(lines), page([(18, "Action items"), (11, "")] + lines[5:8])]))
PY
}

copy_uri() { printf 'file://%s\n' "$1" > "$work/uris"; copy_file text/uri-list "$work/uris"; }

make_history() {
  convert -size 640x400 gradient:'#ff9a56-#ff5e7e' -fill white -pointsize 56 -gravity center \
    -annotate 0 'Q3 roadmap' "$work/roadmap.png"
  mkdir -p "$work/Documents" "$work/Videos"
  write_pdf "$work/Documents/meeting-notes.pdf"
  convert -size 640x360 gradient:'#2b5876-#4e4376' -fill white -pointsize 40 -gravity center \
    -annotate 0 'Product demo' "$work/frame.png"
  gst-launch-1.0 -q filesrc location="$work/frame.png" ! pngdec ! imagefreeze num-buffers=75 \
    ! video/x-raw,framerate=25/1 ! videoconvert ! vp8enc ! webmmux \
    ! filesink location="$work/Videos/product-demo.webm"
  head -c 2400000 /dev/urandom > "$work/Documents/photos-2026.tar.gz"
  # The oldest records: a file of another kind, a video and a long text.
  copy_uri "$work/Documents/photos-2026.tar.gz"
  copy_uri "$work/Videos/product-demo.webm"
  copy "$(printf 'Release notes %s\n\n' 2.4; for i in $(seq 1 40); do
    printf '%s. The panel remembers the category you chose last time, and the preview opens\n' "$i"
  done)"
  copy 'git rebase -i HEAD~3'
  copy_file image/png "$work/roadmap.png"
  copy_uri "$work/Documents/meeting-notes.pdf"
  copy 'https://doc.qt.io/qt-6/qtquick-index.html'
  copy 'The quick brown fox jumps over the lazy dog. Pack my box with five dozen liquor jugs.'
  copy "SELECT name, email
FROM users
WHERE created_at > now() - interval '7 days'
ORDER BY created_at DESC;"
  copy 'https://en.wikipedia.org/wiki/Clipboard_(computing)'
  copy 'Thanks for the review! I pushed a fix for the flaky test.'
  copy '#3B82F6'
}

start_brivet() {
  XDG_CONFIG_HOME=$work/config GTK_THEME=$1 "$binary" >>"$work/brivet.log" 2>&1 &
  brivet_pid=$!
  pids+=($brivet_pid)
  sleep 3
}

stop_brivet() {
  kill "$brivet_pid"
  wait "$brivet_pid" 2>/dev/null || true
}

# Categories of the user's, and a few records pinned to them (the panel only reads them).
pin_some() {
  local db=$work/data/brivet/BrivetCloud.sqlite
  sqlite3 "$db" <<'SQL'
INSERT INTO Category(id, name, colorHex, "order", isDefault) VALUES
  ('7d3c6a52-6c51-4f40-9a43-0d1c1f7c0a01', 'Work', '#FF9500', 1, 0),
  ('7d3c6a52-6c51-4f40-9a43-0d1c1f7c0a02', 'Personal', '#34C759', 2, 0),
  ('7d3c6a52-6c51-4f40-9a43-0d1c1f7c0a03', 'Ideas', '#AF52DE', 3, 0),
  ('7d3c6a52-6c51-4f40-9a43-0d1c1f7c0a04', 'Reading list for the long winter evenings',
   '#5AC8FA', 4, 0);
INSERT INTO ClipboardItemCategory(item, category)
  SELECT i.pk, c.pk FROM ClipboardItem i, Category c
  WHERE (i.textContent LIKE 'SELECT%' AND c.name = 'Work')
     OR (i.urlString LIKE '%wikipedia%' AND c.name IN ('Personal', 'Work', 'Ideas'));
SQL
}

shoot() {
  local name=$1
  start_brivet "$2"
  xdotool key super+shift+v
  sleep 1.5
  import -window root "$out/panel-$name.png"
  xdotool key Right Right Right
  sleep 0.8
  import -window root "$out/panel-$name-selected.png"
  # The bottom of the screen, where the panel is.
  convert "$out/panel-$name-selected.png" -gravity south -crop 1440x250+0+0 +repage \
    "$out/panel-$name-strip.png"
  # A paste stack of three, marked with Ctrl+Space on the fourth, the second and the fifth
  # card; Escape clears the marks.
  xdotool key ctrl+space Left Left ctrl+space Right Right Right ctrl+space
  sleep 0.8
  import -window root "$work/marked.png"
  convert "$work/marked.png" -gravity south -crop 1440x250+0+0 +repage \
    "$out/panel-$name-marked.png"
  xdotool key Escape Left
  # The preview of each kind: Space on the card, Escape, on to the next one. The cards, newest
  # first: 2 a link, 3 a text, 6 a PDF, 7 an image, 9 a long text, 10 a video, 11 an archive.
  xdotool key Left Left Left
  local at=0 index kind
  for index_kind in 2:link 3:text 6:pdf 7:image 9:long-text 10:video 11:file; do
    index=${index_kind%%:*} kind=${index_kind#*:}
    while ((at < index)); do xdotool key Right; at=$((at + 1)); done
    sleep 0.5
    xdotool key space
    sleep 1.5
    import -window root "$work/preview.png"
    convert "$work/preview.png" -gravity south -crop 1440x720+0+0 +repage \
      "$out/preview-$name-$kind.png"
    xdotool key Escape
  done
  # The "Work" chip (after the search field and the default chip) selected, then its editor
  # open from the chip's menu ("Edit"), above the panel.
  local chip_x=402 chip_y=715
  xdotool mousemove $chip_x $chip_y click 1
  sleep 0.6
  import -window root "$out/panel-$name-categories.png"
  convert "$out/panel-$name-categories.png" -gravity southwest -crop 900x250+0+0 +repage \
    "$out/panel-$name-categories.png"
  xdotool mousemove $chip_x $chip_y click 3
  sleep 0.5
  xdotool mousemove $((chip_x + 20)) $((chip_y + 14)) click 1
  sleep 0.8
  import -window root "$out/panel-$name-editor.png"
  convert "$out/panel-$name-editor.png" -gravity southwest -crop 900x480+0+0 +repage \
    "$out/panel-$name-editor.png"
  xdotool key Escape
  xdotool key Escape
  "$binary" --settings
  sleep 1.5
  local window
  window=$(xdotool search --onlyvisible --name '^Brivet Settings$' | head -1)
  import -frame -window "$window" "$out/settings-$name-general.png"
  # Tab from the login switch to "Choose Sync Folder...", which opens the folder dialog.
  xdotool key Tab space
  sleep 1
  import -window root "$out/settings-$name-folder-dialog.png"
  xdotool key Escape
  sleep 0.5
  xdotool key ctrl+Tab
  sleep 0.8
  import -frame -window "$window" "$out/settings-$name-shortcuts.png"
  xdotool key space  # records; stopping Brivet ends the recording unsaved
  sleep 0.5
  import -frame -window "$window" "$out/settings-$name-recording.png"
  stop_brivet
}

start_brivet Adwaita
make_history
stop_brivet
pin_some
shoot light Adwaita
# Sync through a folder from here on: the dark settings show the Sync section active.
mkdir -p "$work/Sync"
echo 'correct horse battery' | "$unlock" "$work/config/brivet/brivet.conf" "$work/Sync"
shoot dark Adwaita:dark
# The panel alone (and the preview of its second card), bottom part of the screen.
panel_shot() {
  local name=$1 height=$3
  start_brivet "$2"
  xdotool key super+shift+v
  sleep 1.5
  import -window root "$work/shot.png"
  convert "$work/shot.png" -gravity south -crop "x$height+0+0" +repage "$out/panel-$name.png"
  xdotool key Right space
  sleep 1.5
  import -window root "$work/shot.png"
  convert "$work/shot.png" -gravity south -crop "x$((height * 3))+0+0" +repage \
    "$out/preview-$name.png"
  stop_brivet
}

# With a compositing manager: translucent, the corners and the shadow on the desktop.
desktop_picture 1440x900
xcompmgr >/dev/null 2>&1 &
compositor=$!
pids+=($compositor)
sleep 1
panel_shot composited-light Adwaita 260
panel_shot composited-dark Adwaita:dark 260
kill "$compositor"
# At a scale factor of 2, on a screen of twice the pixels.
start_x 2880x1800x24
sleep 1
desktop_picture 2880x1800
QT_SCALE_FACTOR=2 panel_shot scale2-light Adwaita 520
# Two monitors side by side; the panel opens on the second, under the pointer.
start_x 2464x900x24
sleep 1
xrandr --setmonitor LEFT 1440/381x900/238+0+0 screen >/dev/null
xrandr --setmonitor RIGHT 1024/270x768/203+1440+0 none >/dev/null
desktop_picture 2464x900
xdotool mousemove 1900 300
panel_shot second-monitor-dark Adwaita:dark 300

# The panel natively on Wayland, under a headless sway.
BRIVET_BINARY=$binary python3 scripts/wayland-screenshot.py "$out/panel-wayland.png"
# The README's pictures, kept current with the views.
cp "$out/panel-light-strip.png" docs/panel.png
cp "$out/panel-composited-light.png" docs/panel-composited.png
cp "$out/settings-light-general.png" docs/settings.png
convert "$out/panel-wayland.png" -gravity south -crop x220+0+0 +repage docs/panel-wayland.png
echo "screenshots in $out; README pictures in docs/"

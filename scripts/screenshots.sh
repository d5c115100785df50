#!/usr/bin/env bash
# Starts Brivet under a private X server (Xvfb + openbox) with an empty history, copies a small
# made-up history into it with xclip (texts, links, an image, a file), opens the panel with the
# default shortcut and saves screenshots in the light and the dark palette.
#   scripts/screenshots.sh [output folder]      (default: build/screenshots)
# Needs a built build/src/app/brivet and the test packages (scripts/install-deps.sh --with-tests).
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-build/screenshots}
binary=${BRIVET_BINARY:-build/src/app/brivet}
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

exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1440x900x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
read -r -u "$displayfd" display
export DISPLAY=":$display"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 1
xsetroot -solid '#3b4f66'

export QT_QUICK_BACKEND=software
export HOME=$work XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config

copy() { printf '%s' "$1" | xclip -selection clipboard -i; sleep 0.8; }
copy_file() { xclip -selection clipboard -t "$1" -i "$2"; sleep 0.8; }

make_history() {
  convert -size 640x400 gradient:'#ff9a56-#ff5e7e' -fill white -pointsize 56 -gravity center \
    -annotate 0 'Q3 roadmap' "$work/roadmap.png"
  mkdir -p "$work/Documents"
  printf 'Meeting notes\n' > "$work/Documents/meeting-notes.pdf"
  copy 'git rebase -i HEAD~3'
  copy_file image/png "$work/roadmap.png"
  printf 'file://%s\n' "$work/Documents/meeting-notes.pdf" > "$work/uris"
  copy_file text/uri-list "$work/uris"
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

shoot() {
  local name=$1 scheme=$2
  local config=$work/config-$name
  mkdir -p "$config"
  cp -r "$work/config/." "$config/" 2>/dev/null || true
  local theme=Adwaita
  [[ $scheme == dark ]] && theme=Adwaita:dark
  XDG_CONFIG_HOME=$config GTK_THEME=$theme "$binary" >"$work/brivet-$name.log" 2>&1 &
  local pid=$!
  pids+=($pid)
  sleep 3
  [[ -z $history_made ]] && { make_history; history_made=1; }
  xdotool key super+shift+v
  sleep 1.5
  import -window root "$out/panel-$name.png"
  xdotool key Right Right Right
  sleep 0.8
  import -window root "$out/panel-$name-selected.png"
  # The bottom of the screen, where the panel is.
  convert "$out/panel-$name-selected.png" -gravity south -crop 1440x250+0+0 +repage \
    "$out/panel-$name-strip.png"
  kill "$pid"; wait "$pid" 2>/dev/null || true
}

history_made=
shoot light light
shoot dark dark
echo "screenshots in $out"

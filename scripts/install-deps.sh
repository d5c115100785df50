#!/usr/bin/env bash
# Installs the Debian 12 packages Brivet needs to build, run and be tested.
# Only packages that are missing are installed; run as root (or through sudo).
set -euo pipefail

build_packages=(
  cmake ninja-build g++ pkg-config
  # Keeps compiled objects between builds and clones.
  ccache
  qt6-base-dev qt6-base-dev-tools qt6-pdf-dev
  # QPlatformNativeInterface: the Wayland panel reads Qt's wl_display and surfaces through it.
  qt6-base-private-dev
  qt6-qpa-plugins qt6-image-formats-plugins
  libsqlite3-dev libicu-dev
  # Sync: the folder's encryption.
  libsodium-dev
  # Sync: the key kept in the desktop's secret service.
  qtkeychain-qt6-dev
  libxcb1-dev libxcb-xfixes0-dev libxcb-xtest0-dev libxcb-keysyms1-dev
  libxcb-xkb-dev libxcb-icccm4-dev libxcb-xinput-dev libxkbcommon-dev libxkbcommon-x11-dev
  qt6-declarative-dev qt6-declarative-dev-tools qt6-svg-dev
  # The translations: lupdate, lrelease and their CMake functions.
  qt6-l10n-tools qt6-tools-dev
  # The panel's Qt Quick modules, loaded at run time.
  qml6-module-qtqml qml6-module-qtqml-models qml6-module-qtqml-workerscript
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-templates qml6-module-qtquick-window
  # The settings' folder dialog (the desktop's own, else a Qt window) and the home folder it
  # opens at.
  qml6-module-qt-labs-platform qml6-module-qtcore
  # The preview: PDF pages (Qt Pdf) and video (Qt Multimedia over GStreamer; the plugins
  # decode WebM, Matroska, MP4 and QuickTime files, H.264 through libav).
  qml6-module-qtquick-pdf qml6-module-qtmultimedia
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  # Wayland: the client library, the protocol definitions (the wlr ones ship only with the
  # Rust crate's sources, KWin's with plasma-wayland-protocols) and Qt's Wayland platform
  # plugin.
  libwayland-dev wayland-protocols librust-wayland-protocols-dev plasma-wayland-protocols
  qt6-wayland
)
test_packages=(
  libbenchmark-dev
  xvfb xauth openbox xclip xdotool x11-utils x11-xserver-utils zenity sqlite3 python3 imagemagick
  # A session bus per test session, gdbus to read and click the tray menu over it, and an
  # XEmbed tray.
  dbus-daemon libglib2.0-bin trayer
  gstreamer1.0-tools
  # A compositing manager: the panel's translucency and rounded corners against the desktop.
  xcompmgr
  # Chinese, Japanese, Korean and emoji glyphs in screenshots and glyph-dependent checks.
  fonts-noto-cjk fonts-noto-color-emoji
  # The Wayland end-to-end tests: headless compositors (sway; KWin's virtual output) and their
  # clipboard, keyboard and screenshot clients.
  sway kwin-wayland wl-clipboard wtype grim
  # The package test: cpack's dependency list (dpkg-shlibdeps), the metainfo and desktop entry
  # validators.
  dpkg-dev appstream desktop-file-utils
  # What a screen reader sees of the panel: the AT-SPI bus and its Python client.
  at-spi2-core python3-pyatspi
  # GNOME: the shell run headless, with Brivet's extension in it.
  gnome-shell
)

wanted=("${build_packages[@]}")
if [[ "${1:-}" == "--with-tests" ]]; then
  wanted+=("${test_packages[@]}")
fi

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

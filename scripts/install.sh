#!/usr/bin/env bash
# Installs or removes Kovra for one user (or under PREFIX), never touching the catalogue.
#   scripts/install.sh install|uninstall [BUILD_DIR]
#   PREFIX   default $HOME/.local: program folder PREFIX/share/kovra, desktop entry, icons, metainfo
#   DESTDIR  staging root prepended to every path written (the entry still names PREFIX)
# The program folder holds the catalogue (KOVRA.INI and one folder per image) next to the program's own
# files; only the program's own files are written or removed here.
set -euo pipefail
action=${1:-}
build=${2:-build}
PREFIX=${PREFIX:-$HOME/.local}
PREFIX=${PREFIX%/}
DESTDIR=${DESTDIR:-}
DESTDIR=${DESTDIR%/}
src=$(cd "$(dirname "$0")/.." && pwd)
id=org.kovra.kovra

folder=$PREFIX/share/kovra                       # where the program runs and finds its catalogue
root=$DESTDIR$folder                              # where this script writes it
apps=$DESTDIR$PREFIX/share/applications
icons=$DESTDIR$PREFIX/share/icons/hicolor
metainfo=$DESTDIR$PREFIX/share/metainfo
programs=(kovra kovra-cli)
sizes=(16 22 24 32 48 64 128 256)

# The desktop entry's Exec value: the path in double quotes. Characters the format would need escaped in a
# quoted argument are refused rather than escaped (no ordinary home folder holds them).
exec_value() {
  case $1 in
    *[\"\`\$\\%]* | *$'\n'*) echo "cannot name $1 in a desktop entry: choose another PREFIX" >&2; exit 2 ;;
  esac
  printf '"%s"' "$1"
}

# Copies a file into place through a temporary name in the same folder, so a running program keeps its
# old file and a failed copy leaves the old one whole.
put() {
  local from=$1 to=$2 mode=$3
  local tmp
  tmp=$(mktemp "$(dirname "$to")/.kovra-install.XXXXXX")
  cp "$from" "$tmp" && chmod "$mode" "$tmp" && mv -f "$tmp" "$to" || { rm -f "$tmp"; return 1; }
}

catalogue_note() {
  echo "The catalogue (KOVRA.INI and one folder per image) lives in $folder"
}

install_files() {
  local exec_line
  exec_line=$(exec_value "$folder/kovra")
  for p in "${programs[@]}"; do
    [ -x "$build/bin/$p" ] || { echo "build first: $build/bin/$p is missing (make build)" >&2; exit 2; }
  done
  [ -f "$build/icons/hicolor/256x256/apps/$id.png" ] || { echo "build first: icons are missing" >&2; exit 2; }
  mkdir -p "$root" "$apps" "$metainfo"
  for p in "${programs[@]}"; do
    put "$build/bin/$p" "$root/$p" 755
  done
  # The manual is the program's own: replaced whole, so pages dropped from it do not linger.
  rm -rf "$root/.kovra-install-manual"
  cp -R "$src/resources/manual" "$root/.kovra-install-manual"
  rm -rf "$root/manual"
  mv "$root/.kovra-install-manual" "$root/manual"
  # Syncthing's ignore file, so a shared program folder shares the catalogue only; a user's own is kept.
  [ -e "$root/.stignore" ] || put "$src/resources/sync/stignore" "$root/.stignore" 644

  local entry
  entry=$(mktemp)
  sed "s|^Exec=.*|Exec=$(printf '%s' "$exec_line" | sed 's/[|&]/\\&/g')|" "$src/resources/desktop/$id.desktop" >"$entry"
  put "$entry" "$apps/$id.desktop" 644
  rm -f "$entry"
  put "$src/resources/desktop/$id.metainfo.xml" "$metainfo/$id.metainfo.xml" 644
  mkdir -p "$icons/scalable/apps"
  put "$build/icons/hicolor/scalable/apps/$id.svg" "$icons/scalable/apps/$id.svg" 644
  for s in "${sizes[@]}"; do
    mkdir -p "$icons/${s}x$s/apps"
    put "$build/icons/hicolor/${s}x$s/apps/$id.png" "$icons/${s}x$s/apps/$id.png" 644
  done
  refresh_caches
  echo "Installed Kovra in $root"
  echo "Menu entry: $apps/$id.desktop"
  catalogue_note
}

uninstall_files() {
  for p in "${programs[@]}"; do
    rm -f "$root/$p"
  done
  rm -rf "$root/manual" "$root/.kovra-install-manual"
  # The ignore file goes only as it was installed; one the user edited belongs to their sharing.
  if [ -f "$root/.stignore" ] && cmp -s "$root/.stignore" "$src/resources/sync/stignore"; then
    rm -f "$root/.stignore"
  fi
  rm -f "$apps/$id.desktop" "$metainfo/$id.metainfo.xml" "$icons/scalable/apps/$id.svg"
  for s in "${sizes[@]}"; do
    rm -f "$icons/${s}x$s/apps/$id.png"
  done
  refresh_caches
  echo "Removed the program's files from $root"
  if [ -d "$root" ] && rmdir "$root" 2>/dev/null; then
    echo "No catalogue was there."
  elif [ -d "$root" ]; then
    echo "The catalogue was kept (KOVRA.INI and the image folders): $folder"
  fi
}

# The desktop's menu and icon caches, where the tools are installed and the files are live (no DESTDIR).
refresh_caches() {
  [ -z "$DESTDIR" ] || return 0
  if command -v update-desktop-database >/dev/null; then update-desktop-database -q "$apps" || true; fi
  if command -v gtk-update-icon-cache >/dev/null && [ -f "$icons/index.theme" ]; then
    gtk-update-icon-cache -q -t "$icons" || true
  fi
}

case $action in
  install) install_files ;;
  uninstall) uninstall_files ;;
  *) echo "usage: $0 install|uninstall [BUILD_DIR]" >&2; exit 2 ;;
esac

#!/usr/bin/env bash
# Takes the user guide's pictures from the running program: a virtual display, a demo
# database in a temporary folder, the windows opened by keyboard, each picture cropped to
# its window and written into docs/prirucka. Run after a build: bash scripts/screenshots.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
out="docs/prirucka"
for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "Chybí program $tool (balíčky xvfb, xdotool, imagemagick)." >&2; exit 2; }
done
[ -x "$build/src/app/verna" ] && [ -x "$build/src/cli/verna-db" ] || { echo "Nejdříve sestavte program (make build)." >&2; exit 2; }

work="$(mktemp -d)"
display=":$((90 + RANDOM % 9))"
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Own settings and data folders: nothing of the user's is read or written.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME"
db="$work/ukazka.sqlite"
"$build/src/cli/verna-db" --db "$db" init >/dev/null
"$build/src/cli/verna-db" --db "$db" demo --entities 60 --seed 7 >/dev/null

Xvfb "$display" -screen 0 1280x860x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display" QT_QPA_PLATFORM=xcb
sleep 1
# A relative path, so that no folder of this machine shows in the pictures.
(cd "$work" && exec "$OLDPWD/$build/src/app/verna" --db ukazka.sqlite >/dev/null 2>&1) &
app=$!

window() { # waits for a window whose title matches, prints its id
  for _ in $(seq 50); do
    id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)"
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.2
  done
  echo "Okno \"$1\" se neotevřelo." >&2
}
shot() { # window id, file name: the window alone, in few colours to stay small
  [ -n "$1" ] || exit 1
  sleep 1
  import -window "$1" "$work/shot.png"
  convert "$work/shot.png" -colors 64 -define png:compression-level=9 -strip "$out/$2"
  echo "$out/$2 ($(( $(stat -c %s "$out/$2") / 1024 )) kB)"
}
keys() { xdotool key --delay 150 "$@"; sleep 0.8; }

main="$(window '^VERNA')"
# No window manager runs here: the keyboard focus is given to the window directly.
xdotool windowmove "$main" 0 0 windowsize "$main" 1100 720 windowfocus --sync "$main"
sleep 1
# The search window: a name typed without diacritics, then Najít.
xdotool mousemove --window "$main" 300 117 click 1
xdotool type --delay 60 "s"
keys Return
shot "$main" hlavni-okno.png

keys alt+o z alt+n n            # Okno → Zavřít, Nástroje → Nový ukazatel
shot "$main" ukazatel.png
keys alt+o z alt+n v            # Nástroje → Nový výkaz
shot "$main" novy-vykaz.png
keys alt+o z alt+z a            # Zobrazit → Analýza
shot "$main" analyza.png
keys alt+s p                    # Soubor → Připojit k databázi…
dialog="$(window 'Připojit k databázi')"
shot "$dialog" pripojeni.png
keys Escape

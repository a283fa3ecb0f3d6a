#!/usr/bin/env bash
# The installed layout: packs the built tree as the Debian package (no rebuild), unpacks it
# into a temporary root and runs verna-db from there on a new database; the report must take
# its style sheets from the unpacked root, and the guide and man pages must be in it.
# Arguments: the build folder.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1) \
  || { cat "$work/cpack.log"; exit 1; }
deb="$(ls "$work"/out/*.deb)"
dpkg-deb -I "$deb" | grep -E "Package|Depends"
dpkg-deb -x "$deb" "$work/root"
usr="$work/root/usr"
for f in bin/verna bin/verna-db share/applications/verna.desktop share/icons/hicolor/scalable/apps/verna.svg \
         share/man/man1/verna.1.gz share/man/man1/verna-db.1.gz share/verna/prirucka/index.md \
         share/verna/prirucka/hlavni-okno.png share/verna/css/klasicky.css share/verna/reference/cd_val.tsv; do
  [ -e "$usr/$f" ] || { echo "V balíčku chybí $f"; exit 1; }
done
grep -q '^Name\[cs\]=' "$usr/share/applications/verna.desktop"

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
db="$work/balicek.sqlite"
"$usr/bin/verna-db" --db "$db" init
"$usr/bin/verna-db" --db "$db" demo --entities 20 --seed 3 >/dev/null
entity="$("$usr/bin/verna-db" --db "$db" find a | head -1 | cut -f1)"
"$usr/bin/verna-db" --db "$db" analyze --entities "$entity" --years 1996-1996 --indicators 1,10 >"$work/analyza.csv"
[ "$(wc -l <"$work/analyza.csv")" -gt 1 ] || { echo "Analýza je prázdná"; cat "$work/analyza.csv"; exit 1; }
mkdir "$work/report"
"$usr/bin/verna-db" --db "$db" report --entities "$entity" --years 1996-1996 --indicators 1,10 --out "$work/report" --nazev Balicek
# The report names its style sheet: it must be the unpacked root's, not the source tree's.
grep -q "$usr/share/verna/css/" "$work/report/"*.htm || { echo "Report nevzal styl z nainstalovaného stromu"; grep -i css "$work/report/"*.htm | head -3; exit 1; }
QT_QPA_PLATFORM=offscreen "$usr/bin/verna" --help >/dev/null
echo "Balíček je v pořádku: $(basename "$deb")"

#!/usr/bin/env bash
# Installs into a staging folder and checks that exactly the files a desktop looks for land where it
# looks for them, and that the desktop entry and the metainfo name the installed program and icon;
# the command-line program beside it comes with its manual page, and the copyright file goes along.
#   check_staged_install.sh BUILD_DIR FULL_BINDIR FULL_DATADIR FULL_MANDIR APP_ID
set -euo pipefail

build=$1
bindir=$2
datadir=$3
mandir=$4
app_id=$5
# shellcheck source=tests/packaging/staging.bash
source "$(dirname "${BASH_SOURCE[0]}")/staging.bash"

source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"

stage_install "$build"

program=$bindir/tarvolin
entry=$datadir/applications/$app_id.desktop
icon=$datadir/icons/hicolor/scalable/apps/$app_id.svg
metainfo=$datadir/metainfo/$app_id.metainfo.xml
cli=$bindir/tarvolin-cli
man_page=$mandir/man1/tarvolin-cli.1.gz
copyright=$datadir/doc/tarvolin/copyright

# Exactly these files, nothing else (no libraries, headers or test programs).
expected=$(printf '%s\n' "$program" "$entry" "$icon" "$metainfo" "$cli" "$man_page" "$copyright" | sort)
installed=$(cd "$stage" && find . \( -type f -o -type l \) -printf '/%P\n' | sort)
if [ "$installed" != "$expected" ]; then
  fail "installed files differ from the expected ones:"$'\n'"$(diff <(echo "$expected") <(echo "$installed"))"
fi

[ -x "$stage$program" ] || fail "$program is not an executable file"
[ -x "$stage$cli" ] || fail "$cli is not an executable file"

# man finds a page by its section folder and reads it compressed.
if [ -f "$stage$man_page" ]; then
  gzip -t "$stage$man_page" || fail "$man_page is not a gzip file"
  warnings=$(man --warnings -l "$stage$man_page" 2>&1 >/dev/null) || fail "man cannot render $man_page"
  [ -z "$warnings" ] || fail "man --warnings remarks on $man_page:"$'\n'"$warnings"
fi

value() { sed -n "s/^$1=//p" "$stage$entry"; }
if [ -f "$stage$entry" ]; then
  desktop-file-validate "$stage$entry" || fail "installed desktop entry does not validate"
  exec_program=$(value Exec | cut -d ' ' -f 1)
  # The menu starts Exec through PATH, which holds the install prefix's bin folder.
  [ "$exec_program" = "$(basename "$program")" ] || fail "Exec runs '$exec_program', installed is $program"
  [ "$(dirname "$program")" = "$bindir" ] || fail "program not in $bindir"
  # The icon theme looks the name up as hicolor/<size>/apps/<Icon>.<ext>.
  [ "$(value Icon)" = "$app_id" ] || fail "Icon is '$(value Icon)', the installed icon is $app_id.svg"
fi

if [ -f "$stage$icon" ]; then
  # A renderer must be able to draw the icon at menu size.
  thumb=$stage/icon-16.png
  vips thumbnail "$stage$icon" "$thumb" 16 --height 16 || fail "$icon cannot be rendered"
  [ "$(vipsheader -f width "$thumb" 2>/dev/null)" = 16 ] || fail "$icon does not render at 16 px"
fi

if [ -f "$stage$metainfo" ]; then
  grep -q "<id>$app_id</id>" "$stage$metainfo" || fail "metainfo id is not $app_id"
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$stage$metainfo" ||
    fail "metainfo does not launch $app_id.desktop"
  for binary in "$program" "$cli"; do
    grep -q "<binary>$(basename "$binary")</binary>" "$stage$metainfo" || fail "metainfo does not provide $binary"
  done
fi

finish
echo "staged install holds:"$'\n'"$installed"

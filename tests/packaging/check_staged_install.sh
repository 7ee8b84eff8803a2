#!/usr/bin/env bash
# Installs each package's part into a staging folder of its own and checks that exactly its files land
# where they are looked for: the window with its desktop entry, icon, metainfo and manual page; the
# command-line program with its manual page and shell completions; each with its copyright file and
# changelog. The desktop entry and the metainfo name the installed program and icon, and the bash
# completion completes the options.
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

program=$bindir/tarvolin
entry=$datadir/applications/$app_id.desktop
icon=$datadir/icons/hicolor/scalable/apps/$app_id.svg
metainfo=$datadir/metainfo/$app_id.metainfo.xml
cli=$bindir/tarvolin-cli
bash_completion=$datadir/bash-completion/completions/tarvolin-cli

# expect_exactly STAGE FILE...: the stage holds these files and nothing else (no libraries, headers or
# test programs).
expect_exactly() {
  local stage=$1 expected installed
  shift
  expected=$(printf '%s\n' "$@" | sort)
  installed=$(cd "$stage" && find . \( -type f -o -type l \) -printf '/%P\n' | sort)
  [ "$installed" = "$expected" ] ||
    fail "installed files differ from the expected ones:"$'\n'"$(diff <(echo "$expected") <(echo "$installed"))"
}

# man finds a page by its section folder and reads it compressed.
check_man_page() {
  [ -f "$1" ] || return 0
  gzip -t "$1" || fail "$1 is not a gzip file"
  warnings=$(man --warnings -l "$1" 2>&1 >/dev/null) || fail "man cannot render $1"
  [ -z "$warnings" ] || fail "man --warnings remarks on $1:"$'\n'"$warnings"
}

stage_install "$build" cli
cli_stage=$stage
expect_exactly "$cli_stage" "$cli" "$mandir/man1/tarvolin-cli.1.gz" "$bash_completion" \
  "$datadir/zsh/vendor-completions/_tarvolin-cli" "$datadir/fish/vendor_completions.d/tarvolin-cli.fish" \
  "$datadir/doc/tarvolin-cli/copyright" "$datadir/doc/tarvolin-cli/changelog.gz"
[ -x "$cli_stage$cli" ] || fail "$cli is not an executable file"
check_man_page "$cli_stage$mandir/man1/tarvolin-cli.1.gz"

# bash-completion loads a command's file on its first completion and calls the function it registers.
complete_words() {
  bash -c 'source "$1"; shift
    function=$(complete -p tarvolin-cli | sed -n "s/.* -F \([^ ]*\) .*/\1/p")
    COMP_WORDS=(tarvolin-cli "$@") COMP_CWORD=$#
    "$function" && printf "%s\n" "${COMPREPLY[@]}"' completion "$cli_stage$bash_completion" "$@"
}
completed=$(complete_words --mo) || fail "the bash completion does not load"
[ "$completed" = --mode ] || fail "bash completes 'tarvolin-cli --mo' as '$completed', not '--mode'"
# After "--" a word with a dash is a folder, not an option.
mkdir -- "$cli_stage/-images"
completed=$(cd "$cli_stage" && complete_words -- -im)
[ "$completed" = -images ] || fail "bash completes 'tarvolin-cli -- -im' as '$completed', not '-images'"

stage_install "$build" window
window_stage=$stage
expect_exactly "$window_stage" "$program" "$entry" "$icon" "$metainfo" "$mandir/man1/tarvolin.1.gz" \
  "$datadir/doc/tarvolin/copyright" "$datadir/doc/tarvolin/changelog.gz"
[ -x "$window_stage$program" ] || fail "$program is not an executable file"
check_man_page "$window_stage$mandir/man1/tarvolin.1.gz"

stage=$window_stage
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
  # The package that carries the metainfo provides the window only.
  grep -q "<binary>$(basename "$program")</binary>" "$stage$metainfo" || fail "metainfo does not provide $program"
fi

finish
echo "staged installs hold:"$'\n'"$(cd "$cli_stage" && find . -type f)"$'\n'"$(cd "$window_stage" && find . -type f)"

#!/usr/bin/env bash
# The manual page of tarvolin-cli renders without a warning from man and groff, and documents what
# the program itself offers: every option of its --help, long and short, its version and each of its
# exit statuses.
#   check_man_page.sh MAN_PAGE PROGRAM
set -euo pipefail

page=$1
program=$2
# shellcheck source=tests/packaging/checks.bash
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"

rendered=$(mktemp "${TMPDIR:-/tmp}/tarvolin-man.XXXXXX")
trap 'rm -f -- "$rendered"' EXIT
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$rendered") || fail "man cannot render $page"
[ -z "$warnings" ] || fail "man --warnings remarks on $page:"$'\n'"$warnings"
# Plain text: man marks bold and underlined letters with backspaces when it writes to a file.
text=$(col -b <"$rendered")

# Long options anywhere in the help, and the short ones at the start of its option lines ("  -j, --jobs").
options=$("$program" --help | grep -oE -- '--[a-z]+(-[a-z]+)*|^ +-[a-zA-Z],' | tr -d ' ,' | sort -u)
for option in $options; do
  # A whole option: "-q" inside "--quiet" does not count.
  grep -qE -- "(^|[^[:alnum:]-])$option([^[:alnum:]-]|\$)" <<<"$text" || fail "$page does not mention $option"
done
version=$("$program" --version | head -n 1 | awk '{print $2}')
grep -qF "Tarvolin $version" <<<"$text" || fail "$page is not for version $version"
for status in 0 1 2 3 129 130 143; do
  grep -qE "^ {7}$status( |$)" <<<"$text" || fail "$page does not list exit status $status"
done

finish
echo "manual page $page renders cleanly and covers --help"

#!/usr/bin/env bash
# The desktop entry passes desktop-file-validate without a single remark and carries what a
# desktop's application menu needs: a name, a comment, the program, the icon and the categories.
#   check_desktop_entry.sh DESKTOP_ENTRY
set -euo pipefail

entry=$1
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"

remarks=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate rejected $entry"
[ -z "$remarks" ] || fail "desktop-file-validate remarks on $entry:"$'\n'"$remarks"

value() { sed -n "s/^$1=//p" "$entry"; }
for key in Name Comment Exec Icon; do
  [ -n "$(value "$key")" ] || fail "$entry has no $key"
done
for category in Graphics Photography; do
  [[ ";$(value Categories)" == *";$category;"* ]] || fail "$entry: Categories lack $category"
done
[ "$(value Type)" = Application ] || fail "$entry: Type is not Application"

finish
echo "desktop entry $entry is valid"

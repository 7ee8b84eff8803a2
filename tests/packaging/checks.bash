# Sourced by the packaging checks: every failed check is reported, and the script fails at the end
# when any did, so that one run shows all that is wrong.
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
finish() { [ "$failures" -eq 0 ] || exit 1; }

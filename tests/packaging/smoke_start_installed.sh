#!/usr/bin/env bash
# Starts the program installed into a staging folder on the offscreen platform and checks that it is
# still running a few seconds later: no missing library, no crash while starting up.
#   smoke_start_installed.sh BUILD_DIR FULL_BINDIR
set -euo pipefail

build=$1
bindir=$2
# shellcheck source=tests/packaging/staging.bash
source "$(dirname "${BASH_SOURCE[0]}")/staging.bash"
stage_install "$build"
program=$stage$bindir/tarvolin

# Named here rather than only as an early exit, so that the failure says which library.
missing=$(ldd "$program" | grep 'not found' || true)
[ -z "$missing" ] || { echo "FAIL: missing libraries:"$'\n'"$missing" >&2; exit 1; }
# The installed program must not reach back into the build tree for anything.
if readelf -d "$program" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
  echo "FAIL: the installed program's run path points into the build tree" >&2
  exit 1
fi

log=$stage/output.log
QT_QPA_PLATFORM=offscreen "$program" >"$log" 2>&1 &
pid=$!
alive_for=3
for _ in $(seq $((alive_for * 10))); do
  if ! kill -0 "$pid" 2>/dev/null; then
    status=0
    wait "$pid" || status=$?
    echo "FAIL: tarvolin exited with status $status within $alive_for s of starting; its output:" >&2
    cat "$log" >&2
    exit 1
  fi
  sleep 0.1
done

kill -TERM "$pid"
wait "$pid" || true
echo "tarvolin was still running after $alive_for s; its output:"
cat "$log"

# Sourced by the install tests: installs a build tree into a fresh staging folder with DESTDIR, the
# way a package build does, and removes the folder when the test ends.

# stage_install BUILD_DIR: sets $stage to the staging folder.
stage_install() {
  stage=$(mktemp -d "${TMPDIR:-/tmp}/tarvolin-stage.XXXXXX")
  trap 'rm -rf -- "$stage"' EXIT
  DESTDIR="$stage" cmake --install "$1" >"$stage.log" 2>&1 || {
    cat "$stage.log" >&2
    rm -f -- "$stage.log"
    echo "FAIL: cmake --install of $1 failed" >&2
    exit 1
  }
  rm -f -- "$stage.log"
}

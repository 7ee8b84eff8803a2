# Sourced by the install tests: installs a build tree into a fresh staging folder with DESTDIR, the
# way a package build does, and removes the staging folders when the test ends.

staged=()
trap 'rm -rf -- "${staged[@]}"' EXIT

# stage_install BUILD_DIR [COMPONENT]: sets $stage to the staging folder, which holds the whole
# install, or only that of COMPONENT (one package's files).
stage_install() {
  stage=$(mktemp -d "${TMPDIR:-/tmp}/tarvolin-stage.XXXXXX")
  staged+=("$stage")
  DESTDIR="$stage" cmake --install "$1" ${2:+--component "$2"} >"$stage.log" 2>&1 || {
    cat "$stage.log" >&2
    rm -f -- "$stage.log"
    echo "FAIL: cmake --install of $1 failed" >&2
    exit 1
  }
  rm -f -- "$stage.log"
}

#!/usr/bin/env bash
# Builds the Debian packages with CPack and checks them: tarvolin-cli_<version>_<arch>.deb and
# tarvolin_<version>_<arch>.deb, each holding exactly its installed files, with Depends computed by
# dpkg-shlibdeps that cover every library its program links to directly and name no development
# package (and, for tarvolin-cli, nothing of Qt), a copyright file in Debian's machine-readable format,
# a changelog whose newest entry is this version, and no error or warning from lintian, nor a note that
# a program lacks the hardening flags.
#   check_deb.sh BUILD_DIR PROJECT_VERSION APP_ID HARDENED
# HARDENED is ON for a release build without the sanitizers, the only kind that must be hardened.
set -euo pipefail

build=$1
version=$2
app_id=$3
hardened=$4

source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"

out=$(mktemp -d "${TMPDIR:-/tmp}/tarvolin-deb.XXXXXX")
trap 'rm -rf -- "$out"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
  cat "$out/cpack.log" >&2
  echo "FAIL: cpack failed" >&2
  exit 1
}

# check_package NAME FILE...: the package NAME holds exactly these files (paths from /).
check_package() {
  local package=$1 deb
  shift
  deb=$out/${package}_${version}_$(dpkg --print-architecture).deb
  if [ ! -f "$deb" ]; then
    fail "no $deb; cpack made: $(cd "$out" && ls ./*.deb 2>/dev/null)"
    return
  fi
  dpkg-deb -I "$deb"

  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = "$package" ] || fail "Package is '$(field Package)'"
  [ "$(field Version)" = "$version" ] || fail "$package: Version is '$(field Version)'"
  [ "$(field Section)" = graphics ] || fail "$package: Section is '$(field Section)'"
  [ -n "$(field Maintainer)" ] || fail "$package: no Maintainer"
  [ -n "$(field Description)" ] || fail "$package: no Description"

  depends=$(field Depends)
  [ -n "$depends" ] || fail "$package: Depends is empty: dpkg-shlibdeps did not run"
  grep -q 'libvips42 (>= 8\.14)' <<<"$depends" || fail "$package: Depends does not ask for libvips 8.14: $depends"
  # Package names alone, one a line, from "libfoo1 (>= 1.0), libbar2 | libbaz2, ...".
  depend_names=$(tr ',|' '\n' <<<"$depends" | sed 's/(.*)//; s/[[:space:]]//g' | sed '/^$/d' | sort -u)
  dev_packages=$(grep -- '-dev$' <<<"$depend_names" || true)
  [ -z "$dev_packages" ] || fail "$package: Depends names development packages: $dev_packages"

  contents=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort)
  expected=$(printf '.%s\n' "$@" | sort)
  [ "$contents" = "$expected" ] ||
    fail "$package: files differ:"$'\n'"$(diff <(echo "$expected") <(echo "$contents"))"

  root=$out/root-$package
  dpkg-deb -x "$deb" "$root"
  check_program "$root/usr/bin/$package"
  check_copyright "$root/usr/share/doc/$package/copyright"
  newest=$(zcat "$root/usr/share/doc/$package/changelog.gz" | head -n 1)
  [[ $newest == "tarvolin ($version) "* ]] || fail "$package: the changelog's newest entry is '$newest'"

  # --fail-on: lintian itself exits 0 whatever it finds. Its hardening tags are only notes (-I), but a
  # release build must not earn them.
  report=$(lintian -I --fail-on error,warning "$deb" 2>&1) ||
    fail "lintian finds errors or warnings in $package:"$'\n'"$report"
  if [ "$hardened" = ON ]; then
    ! grep 'hardening-' <<<"$report" || fail "$package is built without the hardening flags"
  fi
  echo "$report"
}

# The program carries no debug information, and each library it names comes from a package in Depends
# (the libraries those need are their own packages' business).
check_program() {
  local program=$1 soname path real owners owner covered
  if readelf -S "$program" | grep -q '\.debug_info'; then
    fail "the packaged $(basename "$program") still carries debug information"
  fi
  for soname in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(ldd "$program" | awk -v so="$soname" '$1 == so {print $3}')
    [ -n "$path" ] || { fail "$soname is not found on this system"; continue; }
    # Matched on the folder too, so that a 32-bit twin of the library is not taken for its owner.
    real=$(readlink -f "$path")
    owners=$(dpkg -S "*/$(basename "$(dirname "$real")")/$(basename "$real")" 2>/dev/null | cut -d: -f1 | sort -u)
    covered=no
    for owner in $owners; do
      grep -qx "$owner" <<<"$depend_names" && covered=yes
    done
    [ "$covered" = yes ] || fail "$soname ($path, from: ${owners:-no package}) is not covered by Depends"
    echo "$(basename "$program"): $soname -> ${owners//$'\n'/ } (in Depends)"
  done
}

# Debian's copyright format 1.0: the format line first, a Files paragraph that covers everything, and
# each licence it names spelled out in a License paragraph of its own, pointing at Debian's copy.
check_copyright() {
  local copyright=$1 licence
  [ -f "$copyright" ] || return 0
  [ "$(head -n 1 "$copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fail "copyright does not start with the format 1.0 line"
  grep -qx 'Files: \*' "$copyright" || fail "copyright has no 'Files: *' paragraph"
  grep -q '^Copyright: ' "$copyright" || fail "copyright names no copyright holder"
  while read -r licence; do
    # A paragraph of its own: the License line starts it, and its text follows on indented lines.
    grep -A1 -xF "License: $licence" "$copyright" | grep -q '^ ' ||
      fail "copyright names $licence but does not give its text"
  done < <(sed -n 's/^License: //p' "$copyright" | sort -u)
  grep -q '/usr/share/common-licenses/GPL-3' "$copyright" || fail "copyright does not point at common-licenses/GPL-3"
  [ -f /usr/share/common-licenses/GPL-3 ] || fail "this system has no /usr/share/common-licenses/GPL-3"
}

check_package tarvolin-cli /usr/bin/tarvolin-cli /usr/share/man/man1/tarvolin-cli.1.gz \
  /usr/share/bash-completion/completions/tarvolin-cli /usr/share/zsh/vendor-completions/_tarvolin-cli \
  /usr/share/fish/vendor_completions.d/tarvolin-cli.fish /usr/share/doc/tarvolin-cli/copyright \
  /usr/share/doc/tarvolin-cli/changelog.gz
# A headless server installs the command-line program without the window's toolkit.
qt=$(grep -i 'qt' <<<"$depend_names" || true)
[ -z "$qt" ] || fail "tarvolin-cli depends on Qt: $qt"
# The stripped program still runs and says which version it is.
cli_version=$("$out/root-tarvolin-cli/usr/bin/tarvolin-cli" --version | head -n 1) ||
  fail "the packaged tarvolin-cli does not run"
[ "$cli_version" = "tarvolin-cli $version" ] || fail "the packaged tarvolin-cli says '$cli_version'"

check_package tarvolin /usr/bin/tarvolin "/usr/share/applications/$app_id.desktop" \
  "/usr/share/icons/hicolor/scalable/apps/$app_id.svg" "/usr/share/metainfo/$app_id.metainfo.xml" \
  /usr/share/man/man1/tarvolin.1.gz /usr/share/doc/tarvolin/copyright /usr/share/doc/tarvolin/changelog.gz
grep -qx tarvolin-cli <<<"$depend_names" && fail "tarvolin depends on tarvolin-cli, which it does not need"

finish
echo "made: $(cd "$out" && ls ./*.deb)"

#!/usr/bin/env bash
# The AppStream metainfo passes appstreamcli without errors, warnings or infos (only pedantic
# remarks are accepted), shows the launch and finished screenshots, and its newest release is the
# version being built, so that software centres show the right version. The screenshots it names are
# the ones kept in the repository, which are the files to publish at its screenshot address.
#   check_metainfo.sh METAINFO PROJECT_VERSION SCREENSHOT_DIR
set -euo pipefail

metainfo=$1
version=$2
screenshot_dir=$3
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"

# --strict: without it appstreamcli passes files with infos, and a missing content rating is only one.
appstreamcli validate --no-net --strict --no-color "$metainfo" || fail "appstreamcli rejected $metainfo"

for shot in launch.png finished.png; do
  grep -Eq "<image[^>]*>https?://[^<]+/$shot</image>" "$metainfo" || fail "no screenshot $shot in $metainfo"
  [ -f "$screenshot_dir/$shot" ] || fail "$screenshot_dir has no $shot to publish"
done

newest=$(grep -o '<release [^>]*version="[^"]*"' "$metainfo" | head -n 1 | sed 's/.*version="\([^"]*\)"/\1/')
[ "$newest" = "$version" ] ||
  fail "newest release in $metainfo is '$newest', but the build is version $version: add a release entry"

finish
echo "metainfo $metainfo is valid"

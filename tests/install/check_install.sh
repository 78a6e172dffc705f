#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that everything a
# Linux desktop looks for is in its standard place and well-formed: the
# executables (which run from there), the desktop entry, the hicolor icons,
# the MIME type of native documents, the AppStream metadata and the manual
# pages. Usage: check_install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "check_install: $*" >&2; exit 1; }
share=$prefix/share
app=com.morvane.Vividrome

[[ -x $prefix/bin/vividrome-cli ]] || fail "bin/vividrome-cli missing"
"$prefix/bin/vividrome-cli" --help >/dev/null || fail "installed vividrome-cli does not run"
for page in vividrome-cli vividrome; do
  man1=$share/man/man1/$page.1
  [[ -f $man1 ]] || fail "manual page $page.1 missing"
  warnings=$(groff -man -ww -z "$man1" 2>&1)
  [[ -z $warnings ]] || fail "$page.1: $warnings"
done
grep -q '^\.SH EXIT STATUS' "$share/man/man1/vividrome-cli.1" || fail "vividrome-cli.1 has no exit status section"

# Native documents: the MIME database built from our package knows *.vvd.
mime=$share/mime
[[ -f $mime/packages/vividrome.xml ]] || fail "mime/packages/vividrome.xml missing"
xmllint --noout "$mime/packages/vividrome.xml"
if command -v update-mime-database >/dev/null; then
  XDG_DATA_DIRS=$share update-mime-database "$mime"
  grep -q '^50:application/x-vividrome-document:\*\.vvd$' "$mime/globs2" || fail "*.vvd not in the MIME globs"
fi

if [[ -x $prefix/bin/vividrome ]]; then
  desktop=$share/applications/$app.desktop
  [[ -f $desktop ]] || fail "$app.desktop missing"
  if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop"; fi
  grep -q '^Exec=vividrome %F$' "$desktop" || fail "desktop entry does not pass files to vividrome"
  grep -q 'application/x-vividrome-document;' "$desktop" || fail "desktop entry does not claim .vvd"
  for size in 16 32 48 64 128 256; do
    icon=$share/icons/hicolor/${size}x${size}/apps/vividrome.png
    [[ -f $icon ]] || fail "icon ${size}x${size} missing"
    # The icon's pixels are as large as its folder says (IHDR width, height).
    read -r w h < <(od -An -tu1 -j16 -N8 "$icon" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [[ $w == "$size" && $h == "$size" ]] || fail "icon ${size}x${size} is ${w}x${h}"
  done
  xmllint --noout "$share/icons/hicolor/scalable/apps/vividrome.svg"
  metainfo=$share/metainfo/$app.metainfo.xml
  [[ -f $metainfo ]] || fail "AppStream metadata missing"
  if command -v appstreamcli >/dev/null; then appstreamcli validate --no-net "$metainfo" >/dev/null; fi
  grep -q "<launchable type=\"desktop-id\">$app.desktop</launchable>" "$metainfo" || fail "metadata names another desktop entry"
fi
echo "check_install: ok"

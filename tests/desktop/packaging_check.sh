#!/usr/bin/env bash
# The installed programs and the Debian package as the system's own tools see them: install
# layout, desktop entry, AppStream metadata, man pages, --version, and the package's contents,
# dependencies, lintian's verdict and its pixloupe2d-cli drawing as the built one does.
# Use: packaging_check.sh BUILD_DIR SOURCE_DIR VERSION APP_ID
set -euo pipefail
BUILD_DIR=$(cd "$1" && pwd)
SOURCE_DIR=$(cd "$2" && pwd)
VERSION=$3
APP_ID=$4
TMP=$(mktemp -d "${TMPDIR:-/tmp}/pl-pack.XXXXXX")
trap 'rm -rf "$TMP"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Every file below a prefix, relative to it, one a line, sorted.
expected_layout() {
    local size
    {
        printf '%s\n' bin/pixloupe2d bin/pixloupe2d-cli "share/applications/$APP_ID.desktop" \
            "share/metainfo/$APP_ID.metainfo.xml" "share/icons/hicolor/scalable/apps/$APP_ID.svg" \
            share/man/man1/pixloupe2d{,-cli}.1.gz share/man/man5/pixloupe2d-format.5.gz share/doc/pixloupe2d/{changelog.gz,copyright,formats.md}
        for size in 16 32 48 64 128 256; do echo "share/icons/hicolor/${size}x${size}/apps/$APP_ID.png"; done
        for format in "$SOURCE_DIR"/formats/*.plfmt; do echo "share/pixloupe2d/formats/$(basename "$format")"; done
    } | sort
}

PREFIX="$TMP/prefix"
cmake --install "$BUILD_DIR" --prefix "$PREFIX" >/dev/null
diff <(expected_layout) <(cd "$PREFIX" && find . -type f | sed 's|^\./||' | sort) ||
    fail "cmake --install lays out other files than the ones above (< expected, > installed)"
echo "ok: cmake --install lays out both programs, the desktop entry, metadata, icons, man pages, documents and format files"

# Hints (such as several main categories, which the entry has on purpose) are no fault.
report=$(desktop-file-validate "$PREFIX/share/applications/$APP_ID.desktop" 2>&1) ||
    fail "desktop-file-validate: $report"
grep -vE ': hint: ' <<<"$report" | grep . && fail "desktop-file-validate: $report"
grep -qx "Exec=pixloupe2d %f" "$PREFIX/share/applications/$APP_ID.desktop" || fail "the entry does not run pixloupe2d %f"
appstreamcli validate --no-net "$PREFIX/share/metainfo/$APP_ID.metainfo.xml" >"$TMP/appstream.txt" 2>&1 ||
    fail "appstreamcli validate: $(cat "$TMP/appstream.txt")"
newest=$(grep -o '<release version="[^"]*"' "$PREFIX/share/metainfo/$APP_ID.metainfo.xml" | head -n 1)
[[ "$newest" == "<release version=\"$VERSION\"" ]] || fail "the newest release in the metadata is not $VERSION: $newest"
echo "ok: desktop-file-validate and appstreamcli validate pass; the newest release is $VERSION"

for page in pixloupe2d pixloupe2d-cli; do
    warnings=$(zcat "$PREFIX/share/man/man1/$page.1.gz" | groff -man -ww -z 2>&1)
    [[ -z "$warnings" ]] || fail "$page.1: $warnings"
    for section in OPTIONS FILES "EXIT STATUS" EXAMPLES; do
        zcat "$PREFIX/share/man/man1/$page.1.gz" | grep -qx "\.SH $section" || fail "$page.1 has no $section"
    done
done
warnings=$(zcat "$PREFIX/share/man/man5/pixloupe2d-format.5.gz" | groff -man -ww -z 2>&1)
[[ -z "$warnings" ]] || fail "pixloupe2d-format.5: $warnings"
for section in KEYS FILES EXAMPLES; do
    zcat "$PREFIX/share/man/man5/pixloupe2d-format.5.gz" | grep -qx "\.SH $section" || fail "pixloupe2d-format.5 has no $section"
done
echo "ok: the man pages render without warnings and have options (keys), files, exit status and examples"

for program in pixloupe2d pixloupe2d-cli; do
    printed=$(cd "$TMP" && env -u DISPLAY -u WAYLAND_DISPLAY "$PREFIX/bin/$program" --version)
    [[ "$printed" == "$program $VERSION" ]] || fail "$program --version printed \"$printed\""
done
echo "ok: both installed programs print \"NAME $VERSION\" for --version, without a display"

(cd "$BUILD_DIR" && cpack -G DEB -B "$TMP/package" >"$TMP/cpack.txt" 2>&1) || fail "cpack: $(tail -n 20 "$TMP/cpack.txt")"
deb=$(ls "$TMP"/package/pixloupe2d_"$VERSION"_*.deb 2>/dev/null | head -n 1)
[[ -n "$deb" ]] || fail "cpack made no pixloupe2d_${VERSION}_*.deb: $(ls "$TMP/package")"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libpng16-16; do
    grep -qE "(^|, )$needed( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
diff <(expected_layout | sed 's|^|usr/|') \
    <(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort) ||
    fail "the package holds other files than cmake --install lays out (< expected, > packaged)"
lintian --fail-on error --tag-display-limit 0 "$deb" >"$TMP/lintian.txt" 2>&1 ||
    fail "lintian: $(cat "$TMP/lintian.txt")"
echo "ok: $(basename "$deb") depends on $depends; it holds the installed layout; lintian finds no error"

dpkg -x "$deb" "$TMP/unpacked"
"$TMP/unpacked/usr/bin/pixloupe2d-cli" render "$SOURCE_DIR/data/sample.bin" "$TMP/packaged.png" \
    --first '$1000' --width 2 --zoom 4 --multi || fail "the packaged pixloupe2d-cli did not render"
"$BUILD_DIR/viewer/pixloupe2d-cli" render "$SOURCE_DIR/data/sample.bin" "$TMP/built.png" \
    --first '$1000' --width 2 --zoom 4 --multi || fail "the built pixloupe2d-cli did not render"
cmp "$TMP/packaged.png" "$TMP/built.png" || fail "the packaged pixloupe2d-cli draws another picture"
echo "ok: the unpacked package's pixloupe2d-cli renders the sample file as the built one does"
# The list is read whole: grep -q stops at its match, and the rest of the list would then meet a
# closed pipe.
"$TMP/unpacked/usr/bin/pixloupe2d-cli" formats >"$TMP/formats.txt" || fail "the packaged pixloupe2d-cli formats failed"
grep -q "^snes8 .* $TMP/unpacked/usr/share/pixloupe2d/formats/snes-8bpp.plfmt$" "$TMP/formats.txt" &&
    grep -q "^rgb565-le .* $TMP/unpacked/usr/share/pixloupe2d/formats/rgb565-le.plfmt$" "$TMP/formats.txt" ||
    fail "the packaged pixloupe2d-cli does not find its shipped format files"
echo "ok: the unpacked package's pixloupe2d-cli finds the shipped format files beside it"

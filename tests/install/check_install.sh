#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it as a desktop would: the programs and
# their data are in place, the desktop entry and the AppStream data pass their validators, the
# icon named by the entry exists in every size, the man page renders without warnings, and the
# installed program finds its manual. Usage: check_install.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
export HOME=$work/home VELMORA_CONFIG_DIR=$work/config
mkdir -p "$HOME"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
expect_file() {
  [ -f "$prefix/$1" ] || fail "missing $1"
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
  cat "$work/install.log" >&2
  exit 1
}

for file in bin/velmora bin/velmora-cli share/velmora/help/index.html \
  share/applications/velmora.desktop share/metainfo/velmora.metainfo.xml \
  share/man/man1/velmora-cli.1 share/icons/hicolor/scalable/apps/velmora.svg; do
  expect_file "$file"
done

# Every PNG size of the icon, each exactly as large as its folder says.
for size in 16 24 32 48 64 128 256; do
  png=share/icons/hicolor/${size}x${size}/apps/velmora.png
  expect_file "$png"
  [ -f "$prefix/$png" ] || continue
  actual=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); assert d[:8]==b"\x89PNG\r\n\x1a\n"; print("%dx%d" % struct.unpack(">II", d[16:24]))' "$prefix/$png") ||
    actual=unreadable
  [ "$actual" = "${size}x${size}" ] || fail "$png is $actual"
done

desktop=$prefix/share/applications/velmora.desktop
output=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $output"
[ -z "$output" ] || fail "desktop-file-validate warns: $output"
grep -qx 'Exec=velmora %F' "$desktop" || fail "Exec line"
grep -qx 'Categories=AudioVideo;Audio;' "$desktop" || fail "Categories line"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$prefix/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "icon '$icon' does not resolve"

metainfo=$prefix/share/metainfo/velmora.metainfo.xml
output=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli: $output"
grep -q '<launchable type="desktop-id">velmora.desktop</launchable>' "$metainfo" ||
  fail "metainfo does not launch velmora.desktop"
grep -q '<release version="3.0"' "$metainfo" || fail "metainfo has no release 3.0"

# man -l renders the page; --warnings makes groff report any markup it does not understand.
page=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/velmora-cli.1" 2>"$work/man.err") ||
  fail "man -l failed"
[ ! -s "$work/man.err" ] || fail "man page warnings: $(cat "$work/man.err")"
grep -q 'velmora-cli - convert' <<<"$page" || fail "man page has no NAME line"
grep -q 'EXIT STATUS' <<<"$page" || fail "man page has no EXIT STATUS"

version=$("$prefix/bin/velmora" --version) || fail "velmora --version"
[ "$version" = "Velmora v3.0 build 716" ] || fail "velmora --version says '$version'"
version=$("$prefix/bin/velmora-cli" --version) || fail "velmora-cli --version"
[ "$version" = "Velmora v3.0 build 716" ] || fail "velmora-cli --version says '$version'"
help=$("$prefix/bin/velmora" --help) || fail "velmora --help"
grep -qx "Manual: $prefix/share/velmora/help/index.html" <<<"$help" ||
  fail "installed velmora does not find its manual: $help"

# The build tree is laid out like an installation: the program there finds the copy beside it.
help=$("$build/velmora" --help) || fail "build tree velmora --help"
grep -qx "Manual: $(cd "$build" && pwd -P)/help/index.html" <<<"$help" ||
  fail "velmora in the build tree does not find its manual: $help"

# Every link between the manual's pages leads to a page that was installed.
python3 - "$prefix/share/velmora/help" <<'PY' || fail "broken links in the manual"
import html.parser, os, sys
folder = sys.argv[1]
broken = []
class Links(html.parser.HTMLParser):
    def handle_starttag(self, tag, attrs):
        href = dict(attrs).get("href") if tag == "a" else None
        if href and ":" not in href:
            target = href.split("#")[0]
            if target and not os.path.isfile(os.path.join(folder, target)):
                broken.append((self.page, href))
for page in sorted(os.listdir(folder)):
    parser = Links()
    parser.page = page
    parser.feed(open(os.path.join(folder, page), encoding="utf-8").read())
for page, href in broken:
    print(f"{page}: {href}", file=sys.stderr)
sys.exit(1 if broken else 0)
PY

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "install into a prefix: all checks passed"

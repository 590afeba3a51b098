#!/bin/sh
# Peak memory of `velmora-cli settings get` over settings files of 4 MB shaped to hurt the
# reader (a key 2 million levels deep, one 100,000 levels deep in 200 KB, many distinct
# sections, many distinct values, nothing but line breaks), next to an empty store, as
# reported by /usr/bin/time -v. The goal: every one stays under 64 MB.
#
#   BUILD_DIR=build bench/hostile_store_memory.sh
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case $build in
/*) ;;
*) build=$repo/$build ;;
esac
cli=$build/velmora-cli
if [ ! -x "$cli" ] || [ ! -x /usr/bin/time ] || ! command -v python3 >/dev/null 2>&1; then
    echo "hostile_store_memory: needs $cli, /usr/bin/time and python3" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-store-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
header = "Windows Registry Editor Version 5.00\n\n"
limit = 4 * 1024 * 1024 - 100
def lines(make):
    out, size, n = [], 0, 0
    while size < limit:
        line = make(n); out.append(line); size += len(line); n += 1
    return "".join(out)
shapes = {
    "empty": "",
    "deep-200k": header + "[HKEY_CURRENT_USER" + "\\a" * 100000 + "]\n\"x\"=dword:00000001\n",
    "deep-4m": header + "[HKEY_CURRENT_USER" + "\\a" * (limit // 2) + "]\n",
    "sections": header + lines(lambda n: "[HKEY_CURRENT_USER\\%x]\n" % n),
    "long-sections": header + lines(lambda n: "[HKEY_CURRENT_USER\\%x" % n + "\\bb" * 31 + "]\n"),
    "values": header + "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n"
              + lines(lambda n: "\"%x\"=dword:0\n" % n),
    "line-breaks": header + "\n" * limit,
}
for name, text in shapes.items():
    os.makedirs(os.path.join(work, name))
    with open(os.path.join(work, name, "velmora.reg"), "w") as f:
        f.write(text[:limit + len(header)])
PY

for shape in empty deep-200k deep-4m sections long-sections values line-breaks; do
    peak=$(VELMORA_CONFIG_DIR=$work/$shape HOME=$work /usr/bin/time -v "$cli" settings get \
        MP3BitRate 2>&1 >/dev/null | sed -n 's/.*Maximum resident set size (kbytes): //p')
    printf '%-14s %6d KB peak\n' "$shape" "$peak"
done

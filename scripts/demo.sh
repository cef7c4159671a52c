#!/usr/bin/env bash
# One real update through the x86 qelmoset.dll against the emulated handset.
# Lays out a PC side (the library's folder with qelmoset.dll and a fresh
# qelmoset.ini, a source folder with a sample update file) and a handset
# folder with its device program, runs the host program qelrun, and shows
# the result, the new lines of qelmoset.log, the handset's folder tree and
# the command line that was started. Run it as often as you like.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
preset=${QEL_DEMO_PRESET:-win32}
build=$root/build/$preset
demo=$root/demo-run
prefix=$demo/wineprefix

bash scripts/setup.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target qelmoset qelrun qel_rapi_emulator -- -j"$(nproc)" >/dev/null

[ -d "$prefix" ] || scripts/wine-prefix create "$prefix" >/dev/null
trap 'scripts/wine-prefix stop "$prefix" >/dev/null' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all

# The PC: the host program with RAPI.dll beside it, the library's folder and
# the source folder with the update file.
mkdir -p "$demo/host" "$demo/pc" "$demo/src" "$demo/handset/Windows"
cp "$build/bin/qelrun.exe" "$build/bin/RAPI.dll" "$demo/host/"
cp "$build/bin/qelmoset.dll" "$demo/pc/"
head -c 100000 /dev/urandom > "$demo/src/Update.qel"
cat > "$demo/pc/qelmoset.ini" <<INI
[Path]
src=Z:${demo//\//\\}\\src
dest=\\Windows\\Updates
[RemoteExe]
fname=\\Windows\\Apply.exe
option=-Auto
INI
sed -i 's/$/\r/' "$demo/pc/qelmoset.ini"
# The handset: its update program, and a journal of every remote call.
echo "device program" > "$demo/handset/Windows/Apply.exe"
: > "$demo/journal.txt"
log=$demo/pc/qelmoset.log
before=$( [ -f "$log" ] && wc -l < "$log" || echo 0 )

export QEL_EMU_ROOT="Z:${demo//\//\\}\\handset" QEL_EMU_JOURNAL="Z:${demo//\//\\}\\journal.txt"
echo "Running: qelrun --dismiss-notices pc\\qelmoset.dll ($preset)"
set +e
/usr/lib/wine/wine "$demo/host/qelrun.exe" --dismiss-notices "Z:${demo//\//\\}\\pc\\qelmoset.dll" > "$demo/qelrun.out" 2>&1
result=$?
set -e
cat "$demo/qelrun.out"
echo
echo "== Result: $result ($([ $result -eq 0 ] && echo success || echo failure))"
echo
echo "== New lines of pc/qelmoset.log"
tail -n +"$((before + 1))" "$log" | tr -d '\r'
echo
echo "== The handset's folder tree"
python3 - "$demo/handset" <<'PY'
import os, sys
root = sys.argv[1]
for folder, dirs, files in sorted(os.walk(root)):
    rel = os.path.relpath(folder, root)
    print("\\" if rel == "." else "\\" + rel.replace("/", "\\"))
    for name in sorted(files):
        path = os.path.join(folder, name)
        try:
            attributes = int(os.getxattr(path, "user.DOSATTRIB").split(b"\0")[0], 16)
        except OSError:
            attributes = 0
        hidden = "  (hidden)" if attributes & 2 else ""
        print(f"    {name}  {os.path.getsize(path)} bytes{hidden}")
PY
echo
echo "== Started on the handset"
grep -a '^CeCreateProcess' "$demo/journal.txt" | tr -d '\r' || echo "(nothing was started)"
echo
echo "== The library's folder after the run"
ls "$demo/pc"

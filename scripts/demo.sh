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
case $result in
  0) echo "== Result: 0, success: the file was copied and the device program started" ;;
  1) echo "== Result: 1, failure: the notice below and the log tell why" ;;
  *) echo "== Result: $result: qelrun could not call the DLL (see above)" ;;
esac
# Each notice box of the run, with its text in English.
declare -A meaning=(
  ["RAPIの呼び出しに失敗しました"]="Calling the remote API failed."
  ["VEXA KX520 との接続に失敗しました"]="Connecting to the VEXA KX520 failed."
  ["初期設定ファイルの読み込みに失敗しました"]="Reading the settings file failed."
  ["転送元ファイルが存在しません"]="The source file does not exist."
  ["更新ファイルの転送に失敗しました"]="Transferring the update file failed."
  ["更新処理機能の実行に失敗しました"]="Running the update function failed."
)
while IFS= read -r text; do
  echo "    Notice shown: $text (${meaning[$text]:-?})"
done < <(sed -n 's/^NOTICE caption=.* text=\(.*\) style=.*$/\1/p' "$demo/qelrun.out")
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
tr -d '\r' < "$demo/journal.txt" \
  | awk -F'\t' '$1 == "CeCreateProcess" && $5 == 1 { print "    program:      " $2; print "    command line: " $3; found = 1 }
                 END { if (!found) print "    (nothing was started)" }'
echo
echo "== The library's folder after the run"
ls "$demo/pc"

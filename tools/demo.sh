#!/bin/sh
# Packs a small demo installer with sfxpack and runs it: the POSIX stub
# natively, the Windows stub under Wine. Everything happens in a scratch
# directory that is removed at the end.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
scratch=$(mktemp -d /tmp/sfx-demo.XXXXXX)
SFX_WINE_PREFIX="$scratch/wine"
mkdir -p "$SFX_WINE_PREFIX"
. tools/wine-env.sh
trap 'wine_stop; rm -rf "$scratch"' EXIT

mkdir -p "$scratch/payload/docs"
echo "Thank you for installing the demo." > "$scratch/payload/readme.txt"
echo "Demo documentation." > "$scratch/payload/docs/manual.txt"
cat > "$scratch/payload/setup.sh" <<'SCRIPT'
#!/bin/sh
echo "setup ran in $(pwd) with: $*"
SCRIPT
cp build/win64/bin/record_args.exe "$scratch/payload/setup.exe"

echo "== the bare stub, with no package behind it"
build/posix/bin/stub || true

echo "== packing"
build/posix/bin/sfxpack create -o "$scratch/demo-installer" --target posix \
  --run 'setup.sh %path%' "$scratch/payload"
build/posix/bin/sfxpack list "$scratch/demo-installer"
build/posix/bin/sfxpack verify "$scratch/demo-installer"

echo "== the installer's own options: --help, --list"
"$scratch/demo-installer" --help | head -3
"$scratch/demo-installer" --list

echo "== running the POSIX installer into $scratch/out"
"$scratch/demo-installer" "$scratch/out"
sleep 0.5
find "$scratch/out" -type f | sort
# Nothing on a POSIX system reads a restart list: the stub writes none.
[ ! -e "$scratch/state/wininit.ini" ] && echo "no restart list (nothing on POSIX reads one)"

echo "== the same payload for Windows, split into volumes of 64 KiB, under Wine"
mkdir -p "$scratch/win"
build/posix/bin/sfxpack create -o "$scratch/win/setup-demo.exe" --target win64 \
  --split 64K --run 'setup.exe /dir=%path%' "$scratch/payload"
ls -l "$scratch/win"
SFX_RECORD='Z:'$(echo "$scratch/recorded.txt" | tr / '\\') WINEDEBUG=+relay \
  "$WINE" "$scratch/win/setup-demo.exe" 2>&1 | grep -E 'Call (user32|shell32)' | sed 's/^[0-9a-f]*://'
for i in $(seq 1 100); do [ -f "$scratch/recorded.txt" ] && break; sleep 0.1; done
echo "extracted beside the head:"; ls "$scratch/win"
echo "the setup program recorded:"; cat "$scratch/recorded.txt"
echo "demo finished"

#!/bin/sh
# make bench: extraction speed and memory of the stub against its peers on
# the same data, measured in one run and alternating, plus the stub sizes.
# Writes bench/results.md. Scratch data lives outside the repository (on
# tmpfs when there is one) and is removed at the end.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
rounds=${SFX_BENCH_ROUNDS:-5}
megabytes=${SFX_BENCH_MEGABYTES:-200}

missing=""
for package in zip unzip 7zip makeself time nsis; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $package"
done
if [ -n "$missing" ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null
fi

base=/tmp
[ -w /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/sfx-bench.XXXXXX")
SFX_WINE_PREFIX=$(mktemp -d /tmp/sfx-bench-wine.XXXXXX)
. tools/wine-env.sh
trap 'wine_stop; rm -rf "$work"' EXIT
bin=build/posix/bin

echo "generating a ${megabytes} MB corpus"
$bin/make_corpus "$work/corpus" "$megabytes" >/dev/null
mkdir -p "$work/zeros"
head -c 268435456 /dev/zero > "$work/zeros/zeros.bin"
# One compressible 1 GiB file: the corpus' files end to end, over again.
mkdir -p "$work/big"
for copy in $(seq 1 $((1074 / megabytes + 1))); do
  find "$work/corpus" -type f | sort | xargs cat
done 2>/dev/null | head -c 1073741824 > "$work/big/big.bin"


for set in corpus zeros big; do
  $bin/sfxpack create -o "$work/$set.installer" --stub $bin/stub "$work/$set"
  $bin/lower_bound --index "$work/$set.installer" > "$work/$set.index"
done
# The same installer without the package checksum, for the check's cost.
$bin/sfxpack create -o "$work/corpus.unchecked" --no-checksum --stub $bin/stub "$work/corpus"
$bin/sfxpack create -o "$work/corpus.exe" --stub build/win64/bin/stub.exe "$work/corpus"
$bin/sfxpack create -o "$work/corpus32.exe" --stub build/win32/bin/stub.exe "$work/corpus"
# The i686 stub runs under 32-bit Wine where there is one.
wine32_tool=""
[ -n "${SFX_WINE32:-}" ] && wine32_tool=wine32-sfxstub
(cd "$work/corpus" && zip -6 -q -r "$work/corpus.zip" .)
tar -C "$work/corpus" -cf - . | gzip -6 > "$work/corpus.tar.gz"
(cd "$work/corpus" && 7zz a -bd -t7z -m0=Deflate -mx=5 "$work/corpus.7z" . >/dev/null)
makeself --gzip --nox11 --noprogress --quiet "$work/corpus" "$work/corpus.run" demo true >/dev/null

windows_path() { echo "Z:$1" | tr / '\\'; }

run_tool() { # tool set out: extracts with one tool into out
  case "$1" in
    lower-bound) $bin/lower_bound "$work/$2.installer" "$work/$2.index" "$3" ;;
    isal-stream) $bin/lower_bound --isal "$work/$2.installer" "$work/$2.index" "$3" ;;
    sfxstub) "$work/$2.installer" "$3" ;;
    sfxstub-unchecked) "$work/corpus.unchecked" "$3" ;;
    cp-r) cp -r "$work/corpus" "$3" ;;
    unzip) unzip -q "$work/corpus.zip" -d "$3" ;;
    tar-xzf) mkdir -p "$3" && tar -C "$3" -xzf "$work/corpus.tar.gz" ;;
    7z) 7zz x -bd -y -o"$3" "$work/corpus.7z" >/dev/null ;;
    makeself) sh "$work/corpus.run" --noexec --nox11 --quiet --target "$3" >/dev/null ;;
    wine-sfxstub) "$WINE" "$work/corpus.exe" "$(windows_path "$3")" ;;
    wine32-sfxstub) WINEARCH=win32 WINEPREFIX="$SFX_WINE32_PREFIX" "$SFX_WINE32" \
      "$work/corpus32.exe" "$(windows_path "$3")" ;;
    sfxstub-cpu0) taskset -c 0 "$work/$2.installer" "$3" ;;
    wine-sfxstub-cpu0) taskset -c 0 "$WINE" "$work/corpus.exe" "$(windows_path "$3")" ;;
  esac
}

timing() { # tool set -> seconds of one run
  out="$work/out"
  rm -rf "$out"
  start=$(date +%s.%N)
  run_tool "$1" "$2" "$out" >/dev/null 2>&1
  end=$(date +%s.%N)
  rm -rf "$out"
  echo "$start $end" | awk '{printf "%.4f", $2 - $1}'
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# Every file the Windows stub writes under Wine takes three round trips to
# the Wine server. Between two processors of a virtual machine each one waits
# for the other processor to wake up, so the Windows stub and the native one
# are also timed with everything on one processor, the server included.
server=$(pgrep -n -x wineserver64 || pgrep -n -x wineserver || true)
all_cpus=0-$(($(nproc) - 1))
pin_server() { [ -z "$server" ] || taskset -a -p -c "$1" "$server" >/dev/null; }

results="$work/times"
: > "$results"
for round in $(seq 1 "$rounds"); do
  for tool in lower-bound isal-stream sfxstub sfxstub-unchecked cp-r unzip tar-xzf 7z makeself \
    wine-sfxstub $wine32_tool; do
    echo "corpus $tool $(timing $tool corpus)" >> "$results"
  done
  pin_server 0
  for tool in sfxstub-cpu0 wine-sfxstub-cpu0; do
    echo "corpus $tool $(timing $tool corpus)" >> "$results"
  done
  pin_server "$all_cpus"
  for set in zeros big; do
    for tool in lower-bound isal-stream sfxstub; do
      echo "$set $tool $(timing $tool $set)" >> "$results"
    done
  done
  echo "round $round of $rounds done"
done

peak() { # tool set -> peak resident kilobytes
  out="$work/out"; rm -rf "$out"
  if [ "$1" = sfxstub ]; then
    /usr/bin/time -f %M "$work/$2.installer" "$out" 2>&1 >/dev/null | tail -1
  else
    /usr/bin/time -f %M $bin/lower_bound "$work/$2.installer" "$work/$2.index" "$out" 2>&1 |
      tail -1
  fi
  rm -rf "$out"
}

largest_record() { # compressed + inflated size of the largest record, in MiB
  $bin/sfxpack list --json "$1" | tr '{' '\n' |
    sed -n 's/.*"name".*"stored":\([0-9]*\),"size":\([0-9]*\).*/\1 \2/p' |
    sort -k2 -n | tail -1 | awk '{printf "%.1f", ($1+$2)/1048576}'
}

{
  echo "Measured $(date -u +%Y-%m-%d) on $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(uname -m), output on $(df -T "$base" | awk 'NR==2 {print $2}'); median of $rounds alternating runs."
  echo
  echo "| data | tool | median s | MB/s | ratio to lower bound |"
  echo "|---|---|---|---|---|"
  for set in corpus zeros big; do
    bound=$(grep "^$set lower-bound " "$results" | awk '{print $3}' | median)
    size=$(du -sbL "$work/$set" | awk '{printf "%.1f", $1/1e6}')
    for tool in lower-bound isal-stream sfxstub sfxstub-unchecked cp-r unzip tar-xzf 7z makeself \
      wine-sfxstub wine32-sfxstub; do
      grep -q "^$set $tool " "$results" || continue
      value=$(grep "^$set $tool " "$results" | awk '{print $3}' | median)
      echo "$set $size $tool $value $bound" |
        awk '{printf "| %s (%s MB) | %s | %.3f | %.0f | %.2f |\n", $1, $2, $3, $4, $2 / $4, $4 / $5}'
    done
  done
  native=$(grep "^corpus sfxstub " "$results" | awk '{print $3}' | median)
  unchecked=$(grep "^corpus sfxstub-unchecked " "$results" | awk '{print $3}' | median)
  copy=$(grep "^corpus cp-r " "$results" | awk '{print $3}' | median)
  bound=$(grep "^corpus lower-bound " "$results" | awk '{print $3}' | median)
  echo
  reference=$(grep "^corpus isal-stream " "$results" | awk '{print $3}' | median)
  echo "$native $bound $copy $reference" |
    awk '{printf "The POSIX stub takes %.2f of the zlib bound (one read, one zlib inflate, one write per file), %.2f times the ISA-L streaming reference (%.3f s) and %.2f times as long as cp -r of the same output.\n", $1 / $2, $1 / $4, $4, $1 / $3}'
  big_stub=$(grep "^big sfxstub " "$results" | awk '{print $3}' | median)
  big_bound=$(grep "^big lower-bound " "$results" | awk '{print $3}' | median)
  big_reference=$(grep "^big isal-stream " "$results" | awk '{print $3}' | median)
  echo
  echo "$big_stub $big_bound $big_reference" |
    awk '{printf "One compressible 1 GiB file: the stub takes %.3f s, %.2f of the zlib bound (%.3f s) and %.2f times the ISA-L reference (%.3f s).\n", $1, $1 / $2, $2, $1 / $3, $3}'
  echo
  echo "$native $unchecked" |
    awk '{printf "The package checksum costs %.1f%% of the extraction (%.3f s with it, %.3f s without).\n", ($1 / $2 - 1) * 100, $1, $2}'
  wine=$(grep "^corpus wine-sfxstub " "$results" | awk '{print $3}' | median)
  echo
  native0=$(grep "^corpus sfxstub-cpu0 " "$results" | awk '{print $3}' | median)
  wine0=$(grep "^corpus wine-sfxstub-cpu0 " "$results" | awk '{print $3}' | median)
  echo "$wine $bound $reference" |
    awk '{printf "The x86_64 Windows stub under Wine takes %.2f of the zlib bound and %.2f times the ISA-L reference.\n", $1 / $2, $1 / $3}'
  echo
  echo "$wine $native $wine0 $native0" |
    awk '{printf "The Windows stub under Wine takes %.2f times as long as the native stub ", $1 / $2;
          printf "(%.3f s against %.3f s); with both, and the Wine server, on one ", $1, $2;
          printf "processor %.2f times (%.3f s against %.3f s).\n", $3 / $4, $3, $4}'
  if grep -q "^corpus wine32-sfxstub " "$results"; then
    wine32=$(grep "^corpus wine32-sfxstub " "$results" | awk '{print $3}' | median)
    echo
    echo "$wine32 $wine" |
      awk '{printf "The i686 stub under 32-bit Wine takes %.3f s, %.2f times the x86_64 stub under wine64 (%.3f s), in the same run.\n", $1, $1 / $2, $2}'
  fi
  echo
  echo "| peak memory | KiB | largest record, stored + inflated |"
  echo "|---|---|---|"
  for set in corpus zeros big; do
    echo "| sfxstub, $set | $(peak sfxstub $set) | $(largest_record "$work/$set.installer") MiB |"
    echo "| lower bound, $set | $(peak lower-bound $set) | |"
  done
  # Packing: the installer's size and the time to make it, at the default
  # level and the top one, beside zip -9 and 7-Zip's best Deflate.
  echo
  echo "| packing the corpus | bytes | seconds | peak KiB |"
  echo "|---|---|---|---|"
  for level in 6 12; do
    stats=$( { /usr/bin/time -f "%e %M" $bin/sfxpack create --quiet --level $level \
      -o "$work/packed$level" --target posix "$work/corpus" >/dev/null; } 2>&1 | tail -1)
    echo "| sfxpack --level $level | $(stat -c %s "$work/packed$level") | ${stats% *} | ${stats#* } |"
    rm -f "$work/packed$level"
  done
  stats=$( { cd "$work/corpus" && /usr/bin/time -f "%e %M" zip -9 -q -r "$work/packed.zip" . ; } 2>&1 | tail -1)
  echo "| zip -9 | $(stat -c %s "$work/packed.zip") | ${stats% *} | ${stats#* } |"
  rm -f "$work/packed.zip"
  stats=$( { cd "$work/corpus" && /usr/bin/time -f "%e %M" 7zz a -bd -tzip -mm=Deflate -mx9 \
    "$work/packed7.zip" . >/dev/null; } 2>&1 | tail -1)
  echo "| 7zz a -tzip -mm=Deflate -mx9 | $(stat -c %s "$work/packed7.zip") | ${stats% *} | ${stats#* } |"
  rm -f "$work/packed7.zip"
  # Packing takes bounded memory whatever the file size: one incompressible
  # 1 GiB file, against 64 MiB plus 8 MiB for each worker thread.
  head -c 1073741824 /dev/urandom > "$work/big.bin"
  pack_peak=$(/usr/bin/time -f %M $bin/sfxpack create --quiet -o "$work/big.installer" \
    --target posix "$work/big.bin" 2>&1 >/dev/null | tail -1)
  # Extracting takes the same memory whatever the file size: the same file
  # back out of its installer, against 4 MiB.
  stub_peak=$(/usr/bin/time -f %M "$work/big.installer" "$work/big.out" 2>&1 >/dev/null | tail -1)
  rm -rf "$work/big.bin" "$work/big.installer" "$work/big.out"
  echo
  echo "| one 1 GiB file | peak KiB | bound KiB |"
  echo "|---|---|---|"
  echo "| sfxpack create | $pack_peak | $((65536 + 8192 * $(nproc))) |"
  echo "| sfxstub extracting it | $stub_peak | 4096 |"
  echo
  echo "| stub | bytes |"
  echo "|---|---|"
  for stub in build/win32/bin/stub.exe build/win64/bin/stub.exe build/posix/bin/stub; do
    echo "| sfxstub $stub | $(stat -c %s $stub) |"
  done
  for stub in /usr/share/nsis/Stubs/zlib-x86-unicode /usr/share/nsis/Stubs/zlib-x86-ansi \
    /usr/lib/7zip/7zCon.sfx /usr/lib/7zip/7z.sfx /usr/lib/p7zip/7zCon.sfx; do
    [ -f "$stub" ] && echo "| $stub | $(stat -c %s "$stub") |"
  done
} > bench/results.md
cat bench/results.md

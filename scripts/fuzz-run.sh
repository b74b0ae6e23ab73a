#!/usr/bin/env bash
# Runs every fuzz target built in $1 for $2 seconds each, one after the other,
# under the sanitizers they were built with. Each target keeps its corpus in
# $1/corpus/<name> and starts from a few valid inputs in $1/seeds/<name>;
# a crash is kept in $1/crashes/. One summary line per target; fails when any
# target found a crash.
set -u
# Absolute paths: a target may change the working directory (the preferences
# reader works in the program's folder), and the corpus must still be found.
build=$(cd "$1" && pwd)
seconds=$2
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$build/crashes"

# seed <target> <file name> <first byte as octal> [file to append]
seed() {
  mkdir -p "$seeds/$1"
  { printf "\\$3"; [ $# -ge 4 ] && cat "$4"; } >"$seeds/$1/$2"
}
for f in assets/image_1[0-1]*.bmp assets/image_150_net.bmp assets/image_161.bmp; do
  seed image_bmp "$(basename "$f")" 000 "$f"
  seed image_bmp "raw-$(basename "$f")" 002 "$f"
  seed sprite_catch "$(basename "$f")" 001 "$f"
done
for f in assets/image_150.png assets/image_201.png assets/image_50[1-3].png; do
  seed image_png "$(basename "$f")" 000 "$f"
  seed sprite_catch "$(basename "$f")" 000 "$f"
done
seed image_jpeg baseline 000
seed image_jpeg progressive 004
mkdir -p "$seeds/sound_catch" "$seeds/music_load"
cp assets/recording_*.wav "$seeds/sound_catch/"
cp assets/tune.mxm "$seeds/music_load/"
seed prefs_read data 000
printf 'Data\nName1\n; settings\r\n[Data]\r\nName1=Anna\r\nName2 = Ben \r\nPort= 6832\r\n[Start]\r\nColor=32\r\n' >"$seeds/prefs_read/data"
printf 'Start\nColor\n[Start]\nColor=\n  16\nWidth=abc\n' >"$seeds/prefs_read/start"
# The lobby and match messages of a recorded network match, read in pieces of
# 1, 6 and 64 bytes.
grep -o '[a-zA-Z]*:[^ ]*#' tests/netplay/network_match.golden | head -40 | tr -d '\n' >/tmp/fuzz-run-messages.$$
for step in 000 005 077; do seed message_reader "match-$step" "$step" /tmp/fuzz-run-messages.$$; done
rm -f /tmp/fuzz-run-messages.$$
# Replays: a local and a host one, as the game writes them.
mkdir -p "$seeds/replay_read"
cp tests/fuzz/replay_local.seed tests/fuzz/replay_host.seed "$seeds/replay_read/"

failed=0
for bin in "$build"/tests/fuzz_*; do
  name=${bin##*/fuzz_}
  corpus=$build/corpus/$name
  mkdir -p "$corpus" "$seeds/$name"
  log=$build/corpus/$name.log
  start=$(date +%s)
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 SDL_AUDIODRIVER=dummy \
    "$bin" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/crashes/$name-" \
    "$corpus" "$seeds/$name" >"$log" 2>&1
  rc=$?
  took=$(($(date +%s) - start))
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
  result="ok, corpus $(ls "$corpus" | wc -l) inputs"
  if [ $rc -ne 0 ]; then
    result="CRASH (exit $rc), see $log and $build/crashes/$name-*"
    failed=1
  fi
  printf '%-16s runs %-10s seconds %-4s %s\n' "$name" "${runs:-?}" "$took" "$result"
done
exit $failed

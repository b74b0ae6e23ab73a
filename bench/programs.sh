#!/bin/bash
# The whole running programs under Xvfb: for each of five screens (the local
# game's menu and match, the host's lobby, the host's and the client's match)
# the CPU of the program and of its X server over a stretch of seconds (% of
# one core), the frame-interval median and 99th percentile, and the resident
# memory. The network pair runs inside a private network namespace, so it
# never meets another program on the game port. Prints figures and never
# fails on time.
#
#   bench/programs.sh BUILD_DIR [LABEL]
#
# Settings from the environment: BENCH_SECONDS (8), BENCH_DISPLAY (first X
# display number, 91; the pair uses it and the next one), BENCH_SCREEN (the X
# screen, 1280x1024x24), BENCH_NET_SCREEN (the pair's X screens, 800x600x24:
# the network programs open full screen, and on an 800 x 600 screen their
# picture is shown 1:1 as in a window).
set -u
build=$(cd "${1:-build}" && pwd) || exit 0
label=${2:-$(basename "$build")}
seconds=${BENCH_SECONDS:-8}
display=${BENCH_DISPLAY:-91}
screen=${BENCH_SCREEN:-1280x1024x24}
netScreen=${BENCH_NET_SCREEN:-800x600x24}

for tool in Xvfb xdotool unshare ip; do
  if ! command -v "$tool" >/dev/null; then
    echo "programs: $tool is missing, skipped"
    exit 0
  fi
done

# Inside the namespace the script runs itself again, for the network part.
if [ "${BENCH_INSIDE_NAMESPACE:-}" = "" ]; then
  work=$(mktemp -d /tmp/skirmora-bench.XXXXXX)
  export BENCH_WORK=$work
else
  work=$BENCH_WORK
fi
ticks=$(getconf CLK_TCK)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT

cpu_ticks() {  # utime + stime of a process, in clock ticks
  awk '{ sub(/^[^)]*\) /, ""); print $12 + $13 }' "/proc/$1/stat" 2>/dev/null || echo 0
}
rss_kb() {
  awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0
}

started=0
start_x() {  # display screen; sets started to the server's pid
  if [ -e "/tmp/.X$1-lock" ]; then
    echo "programs: display :$1 is taken, skipped (BENCH_DISPLAY chooses another)"
    exit 0
  fi
  Xvfb ":$1" -screen 0 "$2" -nolisten tcp -noreset >"$work/xvfb$1.log" 2>&1 &
  started=$!
  pids+=("$started")
  for _ in $(seq 100); do
    DISPLAY=":$1" xdotool getmouselocation >/dev/null 2>&1 && break
    sleep 0.1
  done
}

key() {  # display key: held long enough for once-a-frame sampling
  DISPLAY=":$1" xdotool keydown "$2"
  sleep 0.3
  DISPLAY=":$1" xdotool keyup "$2"
}

# The top-left corner of the start window of the network programs.
start_window() {  # display -> "x y"
  for _ in $(seq 200); do
    for id in $(DISPLAY=":$1" xdotool search --onlyvisible --name '^Skirmora$' 2>/dev/null); do
      local geometry
      geometry=$(DISPLAY=":$1" xdotool getwindowgeometry --shell "$id" 2>/dev/null)
      if echo "$geometry" | grep -q '^WIDTH=216$'; then
        echo "$geometry" | awk -F= '/^X=/ { x = $2 } /^Y=/ { y = $2 } END { print x, y }'
        return
      fi
    done
    sleep 0.1
  done
  echo "0 0"
}

click() {  # display x y
  DISPLAY=":$1" xdotool mousemove "$2" "$3"
  sleep 0.5
  DISPLAY=":$1" xdotool click 1
}

# Frame intervals in ms between two monotonic times (microseconds) of the
# window that presented most: "median p99".
intervals() {  # log from to
  [ -s "$1" ] || { echo "- -"; return; }
  awk -v from="$2" -v to="$3" '$2 >= from && $2 <= to { n[$1]++; t[$1, n[$1]] = $2 }
    END {
      best = ""; for (w in n) if (best == "" || n[w] > n[best]) best = w
      if (best == "" || n[best] < 3) { print "- -"; exit }
      for (i = 2; i <= n[best]; i++) print (t[best, i] - t[best, i - 1]) / 1000
    }' "$1" | sort -g | awk '
      NF == 2 { print; exit }
      { v[NR] = $1 }
      END {
        if (NR < 2) exit
        m = v[int((NR + 1) / 2)]; p = v[int(NR * 0.99 + 0.999)]
        printf "%.2f %.2f\n", m, p
      }'
}

# Measures program and X server for the stretch and prints one line.
measure() {  # name program-pid x-pid frame-log
  local p0 x0 p1 x1 from to
  p0=$(cpu_ticks "$2")
  x0=$(cpu_ticks "$3")
  from=$(monotonic_us)
  sleep "$seconds"
  p1=$(cpu_ticks "$2")
  x1=$(cpu_ticks "$3")
  to=$(monotonic_us)
  local rss
  rss=$(rss_kb "$2")
  read -r median p99 <<<"$(intervals "$4" "$from" "$to")"
  awk -v name="$1" -v label="$label" -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v hz="$ticks" \
    -v s="$seconds" -v m="$median" -v q="$p99" -v rss="$rss" 'BEGIN {
      pc = 100 * p / hz / s; xc = 100 * x / hz / s
      printf "programs[%s] %-20s program %5.1f %%  X %4.1f %%  total %5.1f %%  frames median %s ms p99 %s ms  rss %d MB\n",
        label, name, pc, xc, pc + xc, m, q, rss / 1024 }'
}

# The monotonic clock in microseconds, the one the programs log with.
monotonic_us() {
  python3 -c 'import time; print(int(time.monotonic() * 1e6))'
}

if [ "${BENCH_INSIDE_NAMESPACE:-}" = "" ]; then
  # --- The local game, windowed, in a folder of its own with its settings.
  mkdir -p "$work/local"
  cp "$build/skirmora" "$work/local/"
  printf '[Data]\nName1=Spieler 1\nName2=Spieler 2\n[Start]\nColor=32\nFullscreen=0\n' \
    >"$work/local/Preferences.prefs"
  start_x "$display" "$screen"
  xpid=$started
  (cd "$work/local" && DISPLAY=":$display" SDL_AUDIODRIVER=dummy \
    SKIRMORA_FRAME_LOG="$work/local.frames" exec ./skirmora >"$work/local.log" 2>&1) &
  gpid=$!
  pids+=("$gpid")
  sleep 3
  key "$display" Escape  # leaves the title picture
  sleep 3
  measure "skirmora menu" "$gpid" "$xpid" "$work/local.frames"
  key "$display" Return  # a match of two players, who then fly on untouched
  sleep 3
  measure "skirmora match" "$gpid" "$xpid" "$work/local.frames"
  kill "$gpid" "$xpid" 2>/dev/null
  wait "$gpid" "$xpid" 2>/dev/null

  # --- The network pair, in a network namespace of its own.
  BENCH_INSIDE_NAMESPACE=1 unshare -n bash -c 'ip link set lo up && exec bash "$0" "$@"' \
    "$0" "$build" "$label"
  rm -rf "$work"
  exit 0
fi

start_x "$display" "$netScreen"
hx=$started
start_x $((display + 1)) "$netScreen"
jx=$started
(DISPLAY=":$display" SKIRMORA_FRAME_LOG="$work/host.frames" exec "$build/skirmora-host" \
  >"$work/host.log" 2>&1) &
hp=$!
pids+=("$hp")
read -r x y <<<"$(start_window "$display")"
click "$display" $((x + 42)) $((y + 102))  # Host
sleep 3
measure "skirmora-host lobby" "$hp" "$hx" "$work/host.frames"
(DISPLAY=":$((display + 1))" SKIRMORA_FRAME_LOG="$work/join.frames" exec "$build/skirmora-join" \
  >"$work/join.log" 2>&1) &
jp=$!
pids+=("$jp")
read -r x y <<<"$(start_window $((display + 1)))"
click $((display + 1)) $((x + 172)) $((y + 102))  # Client, to 127.0.0.1
sleep 2
key $((display + 1)) Return  # ready
sleep 1
key "$display" Return  # the match starts
sleep 3
measure "skirmora-host match" "$hp" "$hx" "$work/host.frames" >"$work/host.line" &
mp=$!
measure "skirmora-join match" "$jp" "$jx" "$work/join.frames" >"$work/join.line"
wait "$mp"
cat "$work/host.line" "$work/join.line"

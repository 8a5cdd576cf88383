#!/bin/sh
# The Windows build under Wine, where only the host can act: Ctrl+C in a console (Wine turns SIGINT into
# the console's Ctrl+C event, handled on a thread of its own as on Windows), and a file read past 4 GiB.
# Usage: under_wine.sh WINE KESTRUN-CLI.EXE KESTRUN-SYNTH.EXE
set -u
wine=$1 cli=$2 synth=$3
dir=$(mktemp -d) && cd "$dir" || exit 1
trap 'cd / && rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# 64 GiB of zeros that take no disk and give no text: only Ctrl+C ends the conversion in time.
truncate -s 64G live.dat
# Starts a conversion and waits until it writes (Wine takes a while to start a program).
start() {
  "$wine" "$cli" -q -t T3 -d QZ48 -r 4 --report live.dat 2>/dev/null &
  pid=$!
  for _ in $(seq 600); do ls live_parsed.txt.*.partial >/dev/null 2>&1 && return; sleep 0.1; done
  fail "the conversion did not start"
}

# A first Ctrl+C stops after the current block, keeps both outputs whole and exits with 130.
start
kill -INT "$pid"; wait "$pid"; rc=$?
[ "$rc" = 130 ] || fail "one Ctrl+C: exit $rc, not 130"
[ "$(ls)" = "$(printf 'live.dat\nlive_parsed.txt\nlive_report.txt')" ] || fail "left: $(ls | tr '\n' ' ')"
grep -q "^Errors: None" live_report.txt || fail "report: $(cat live_report.txt)"
[ "$(tail -c 2 live_report.txt | od -An -c | tr -d ' ')" = '\r\n' ] || fail "the report's lines do not end in CR LF"
[ "$(head -c 20 live_parsed.txt)" = "Device Type: QZ8B48" ] || fail "parsed: $(head -c 100 live_parsed.txt)"

# A second Ctrl+C before the run stops ends it at once, with 130 too (it may also have stopped in between).
rm live_parsed.txt live_report.txt
start
kill -INT "$pid"; kill -INT "$pid"; wait "$pid"; rc=$?
[ "$rc" = 130 ] || fail "two Ctrl+C: exit $rc, not 130"

# Data past 4 GiB convert as the same data alone (packaged zeros give nothing: a sparse file costs no disk).
rm live.dat
"$wine" "$synth" -t T3 -d QZ48 --size 4K tail >/dev/null 2>&1 || fail "kestrun-synth"
truncate -s 4G big.dat && cat tail.dat >>big.dat
for f in big tail; do "$wine" "$cli" -q -t T3 -d QZ48 -r 16 --report $f.dat 2>/dev/null || fail "$f.dat: exit $?"; done
cmp -s big_parsed.txt tail_parsed.txt && cmp -s big_report.txt tail_report.txt || fail "past 4 GiB: not the same"
[ -s tail_parsed.txt ] || fail "tail.dat gave no text"
echo "passed"

#!/usr/bin/env bash
# Soak: a zqosrv of BUILD under client churn for SECONDS (zqo-soak), then SIGTERM, and checks:
# the churn's own (see tools/soak/Churn.h), exit status 0 with the shutdown lines, and every
# "Connected from" line matched by its "Disconnected" line in ZQOSRV.LOG.
#   usage: bench/soak.sh [SECONDS] [BUILD]     (defaults: 600, build)
#   SOAK_MIN, SOAK_MAX: clients connected at least and at most (defaults 8 and 24).
# As root, it runs in a network namespace of its own with only a loopback, so the server's
# fixed TCP port cannot meet another server on this machine; elsewhere on the shared loopback.
set -euo pipefail
seconds=${1:-600}
build=${2:-build}

if [ -z "${ZQ_SOAK_NETNS:-}" ] && [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null &&
  command -v ip >/dev/null && unshare -n true 2>/dev/null; then
  # The inner shell expands $0 and $@: this script and its arguments.
  # shellcheck disable=SC2016
  exec env ZQ_SOAK_NETNS=1 unshare -n bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi

for p in zqosrv zqo-mkworld zqo-soak; do
  [ -x "$build/$p" ] || { echo "soak: $build/$p is missing (make programs)" >&2; exit 1; }
done
build=$(cd "$build" && pwd)
world=$(mktemp -d "${TMPDIR:-/tmp}/zqsoak-XXXXXX")
server=""
cleanup() {
  if [ -n "$server" ] && kill -0 "$server" 2>/dev/null; then kill -KILL "$server"; fi
  rm -rf "$world"
}
trap cleanup EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
"$build/zqo-mkworld" "$world" >/dev/null
"$build/zqosrv" --headless --game-dir "$world" --max-clients 63 >"$world/console.txt" 2>&1 &
server=$!
for _ in $(seq 600); do  # up to 60 s: a sanitizer build starts slowly
  grep -q "Beat is active" "$world/ZQOSRV.LOG" 2>/dev/null && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
grep -q "Beat is active" "$world/ZQOSRV.LOG" 2>/dev/null || {
  echo "soak: the server did not start" >&2; tail -5 "$world/console.txt" >&2; exit 1; }

failed=0
"$build/zqo-soak" --seconds "$seconds" --min "${SOAK_MIN:-8}" --max "${SOAK_MAX:-24}" \
  --server-pid "$server" || failed=1

# Shutdown closes open connections without "Disconnected" lines: let the last ones land first.
log="$world/ZQOSRV.LOG"
for _ in $(seq 100); do
  [ "$(grep -c ' Connected from ' "$log")" -eq "$(grep -c ' Disconnected ' "$log")" ] && break
  sleep 0.1
done
kill -TERM "$server"
status=0
wait "$server" || status=$?
server=""
if [ "$status" -ne 0 ]; then
  echo "problem: SIGTERM ended the server with status $status"
  tail -20 "$world/console.txt"
  failed=1
fi
"$build/zqo-soak" --check-log "$log" || failed=1
if [ "$failed" -ne 0 ]; then
  mkdir -p "$build/soak-failure" && cp "$log" "$world/console.txt" "$build/soak-failure/"
  echo "soak: FAIL (log and console kept in $build/soak-failure; the log's last lines follow)"
  tail -15 "$log"
  exit 1
fi
echo "soak: PASS after $seconds s"

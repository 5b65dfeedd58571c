#!/usr/bin/env bash
# The programs of the build tree (argument 1: its bin folder) on the command
# line, without a display: help, version, bad options; and the demo site
# stops cleanly on SIGINT and SIGTERM without leaving files behind.
source "$(dirname "$0")/common.sh"
bin=$1

run() {  # run NAME EXPECTED_STATUS PROGRAM ARGS...: sets $out and $err
  local name=$1 status=$2
  shift 2
  local rc=0
  without_display "$@" >"$tmp/out" 2>"$tmp/err" || rc=$?
  out=$(cat "$tmp/out")
  err=$(cat "$tmp/err")
  expect_eq "$name: exit status" "$rc" "$status"
}

for program in quarvel quarvel-demo; do
  run "$program --version" 0 "$bin/$program" --version
  expect_eq "$program --version" "$out" "$program 0.1.0"
  expect_eq "$program --version: stderr" "$err" ""
  run "$program --help" 0 "$bin/$program" --help
  expect_eq "$program --help: first line" "$(head -1 <<<"$out")" "Usage: $program [options]"
  grep -q "$bin" <<<"$out" && fail "$program --help names the build path"
  run "$program --frobnicate" 2 "$bin/$program" --frobnicate
  expect_eq "$program --frobnicate" "$err" "$program: unknown option '--frobnicate'; try --help"
  expect_eq "$program --frobnicate: stdout" "$out" ""
done
run "quarvel-demo bad port" 2 "$bin/quarvel-demo" --lookup-port x
expect_eq "quarvel-demo bad port" "$err" \
  "quarvel-demo: 'x' is not a port (1 to 65535) for --lookup-port; try --help"

# As root the embedded browser needs its sandbox off; without that the
# programs say so instead of ending without a word.
if [ "$(id -u)" -eq 0 ]; then
  printf 'C39XK0ABHG7F\n' >"$tmp/one.txt"
  for program in quarvel quarvel-cli; do
    args=()
    [ "$program" = quarvel-cli ] && args=(batch "$tmp/one.txt")
    rc=0
    env -u QTWEBENGINE_DISABLE_SANDBOX QTWEBENGINE_CHROMIUM_FLAGS= QT_QPA_PLATFORM=offscreen \
      "$bin/$program" "${args[@]}" >"$tmp/out" 2>"$tmp/err" || rc=$?
    expect_eq "$program as root with the sandbox on: exit status" "$rc" 1
    grep -q 'QTWEBENGINE_DISABLE_SANDBOX=1' "$tmp/err" ||
      fail "$program as root with the sandbox on says nothing: $(cat "$tmp/err")"
  done
fi

# The demo on free ports, with a temporary folder of its own that must stay empty.
start_demo() {
  mkdir -p "$tmp/demo-tmp"
  local attempt
  for attempt in 1 2 3 4 5; do
    local base=$((20000 + RANDOM % 30000))
    ports=("$base" "$((base + 1))" "$((base + 2))")
    TMPDIR=$tmp/demo-tmp "$bin/quarvel-demo" --lookup-port "${ports[0]}" \
      --portal-port "${ports[1]}" --warranty-port "${ports[2]}" >"$tmp/demo.out" 2>&1 &
    demo=$!
    local i
    for i in $(seq 100); do
      grep -q 'warranty https' "$tmp/demo.out" 2>/dev/null && return 0
      kill -0 "$demo" 2>/dev/null || break
      sleep 0.05
    done
    wait "$demo" 2>/dev/null || true
  done
  fail "the demo site did not start: $(cat "$tmp/demo.out")"
  return 1
}

for signal in TERM INT; do
  start_demo || continue
  code=$(curl -sk -o /dev/null -w '%{http_code}' \
    "https://127.0.0.1:${ports[2]}/pages/pod.jsp?r=agreementWarrantyDynamic.do&lang=cn" || true)
  expect_eq "warranty page over https" "$code" "200"
  kill -s "$signal" "$demo"
  rc=0
  wait "$demo" || rc=$?
  expect_eq "demo stopped by SIG$signal: exit status" "$rc" "0"
  left=$(ls -A "$tmp/demo-tmp")
  expect_eq "files the demo left in its temporary folder after SIG$signal" "$left" ""
done
finish

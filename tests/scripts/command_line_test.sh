#!/usr/bin/env bash
# The programs of the build tree (argument 1: its bin folder) on the command
# line, without a display: help, version, bad options, quarvel-cli's shell
# completions; the demo site stops cleanly on SIGINT and SIGTERM without
# leaving files behind, and refuses a port that is taken.
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
# The window without a display, or with one that does not answer, is an
# error of its own, not the toolkit's abort.
run "quarvel without a display" 1 env QTWEBENGINE_DISABLE_SANDBOX=1 "$bin/quarvel"
expect_eq "quarvel without a display" "$err" \
  "quarvel: no display: neither DISPLAY nor WAYLAND_DISPLAY is set"
run "quarvel on a display that does not answer" 1 \
  env QTWEBENGINE_DISABLE_SANDBOX=1 DISPLAY=:97 XAUTHORITY=/nonexistent "$bin/quarvel"
grep -q "^quarvel: no display: the window platform could not open ':97'$" <<<"$err" ||
  fail "quarvel on a display that does not answer: $err"
run "quarvel-demo bad port" 2 "$bin/quarvel-demo" --lookup-port x
expect_eq "quarvel-demo bad port" "$err" \
  "quarvel-demo: 'x' is not a port (1 to 65535) for --lookup-port; try --help"

# quarvel-cli's completions offer, after each command, the options its help
# shows, and complete the values the table lists.
cli=$bin/quarvel-cli
"$cli" completions bash >"$tmp/completion.bash"
reply() {  # reply WORD...: what bash completes for the last word
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _quarvel_cli
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' _ "$tmp/completion.bash" "$@"
}
expect_eq "complete -p" "$(bash -c 'source "$1"; complete -p quarvel-cli' _ "$tmp/completion.bash")" \
  "complete -F _quarvel_cli quarvel-cli"
for command in check batch history help completions; do
  from_help=$("$cli" "$command" --help | sed -n '/^Options:/,/^$/s/^  \(-[^ ,]*\(, -[^ ]*\)\?\).*/\1/p' |
    tr -d ',' | tr ' ' '\n' | sort | tr '\n' ' ')
  expect_eq "completions of $command options" "$(reply quarvel-cli "$command" -)" "$from_help"
done
expect_eq "commands" "$(reply quarvel-cli '')" "batch check completions help history "
expect_eq "--path value" "$(reply quarvel-cli --lookup-host x batch --path o)" "official "
expect_eq "--outcome value" "$(reply quarvel-cli history --outcome t)" "timed_out "
expect_eq "help operand" "$(reply quarvel-cli help hi)" "history "
for shell in zsh fish; do
  "$cli" completions "$shell" >"$tmp/completion.$shell"
  if command -v "$shell" >/dev/null; then
    out=$("$shell" -n "$tmp/completion.$shell" 2>&1) || fail "$shell completions do not parse: $out"
  fi
done

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

# A second demo on a port the first one holds fails, and says which.
if start_demo; then
  run "quarvel-demo on a taken port" 1 "$bin/quarvel-demo" --lookup-port "${ports[0]}" \
    --portal-port "$((ports[0] + 3))" --warranty-port "$((ports[0] + 4))"
  expect_eq "quarvel-demo on a taken port" "$err" \
    "quarvel-demo: port ${ports[0]} for the lookup site is taken"
  kill "$demo"
  wait "$demo" || true
fi
finish

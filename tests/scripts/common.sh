# Helpers for the script tests. Sourced; $tmp is removed on exit.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_eq WHAT ACTUAL EXPECTED
expect_eq() {
  if [ "$2" != "$3" ]; then fail "$1: got '$2', expected '$3'"; fi
}

expect_file() {
  [ -f "$1" ] || fail "missing file $1"
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}

# Runs a program as on a machine without any display.
without_display() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"
}

# Debian's own validators on a desktop entry ($1) and AppStream metadata ($2),
# strictly: a warning or a hint fails as an error does, and so does a missing
# validator (scripts/install-deps brings both). Prints what they said; fails
# when they said anything.
validate_desktop_metadata() {
  local said="" out
  if ! command -v desktop-file-validate >/dev/null; then
    said+="desktop-file-validate is missing. "
  elif ! out=$(desktop-file-validate "$1" 2>&1) || [ -n "$out" ]; then
    said+="desktop-file-validate: $out "
  fi
  if ! command -v appstreamcli >/dev/null; then
    said+="appstreamcli is missing."
  elif ! out=$(appstreamcli validate --no-net --strict "$2" 2>&1); then
    said+="appstreamcli validate: $out"
  fi
  echo "$said"
  [ -z "$said" ]
}

# The checks of an installed tree under $1 (a prefix such as .../usr):
# layout, the programs without a display, the desktop metadata and man pages.
check_installed_tree() {
  local prefix=$1
  local share=$prefix/share

  expect_file "$prefix/bin/quarvel"
  expect_file "$prefix/bin/quarvel-demo"
  local programs
  programs=$(cd "$prefix/bin" && ls | sort | tr '\n' ' ')
  case "$programs" in
    "quarvel quarvel-cli quarvel-demo " | "quarvel quarvel-demo ") ;;
    *) fail "unexpected programs in bin/: $programs" ;;
  esac
  expect_file "$share/quarvel/魔兽争霸.she"
  local cue
  for cue in 欢迎使用 正在查询 查询成功 请正确输入 查询失败 复制信息成功 截图成功 已放弃截图 使用说明; do
    expect_file "$share/quarvel/mp3/$cue.mp3"
  done
  expect_file "$share/applications/org.quarvel.Quarvel.desktop"
  expect_file "$share/metainfo/org.quarvel.Quarvel.metainfo.xml"
  expect_file "$share/icons/hicolor/scalable/apps/org.quarvel.Quarvel.svg"
  local size
  for size in 16 22 24 32 48 64 128 256; do
    expect_file "$share/icons/hicolor/${size}x${size}/apps/org.quarvel.Quarvel.png"
  done
  expect_file "$share/man/man1/quarvel.1.gz"
  expect_file "$share/man/man1/quarvel-demo.1.gz"
  expect_file "$share/doc/quarvel/copyright"
  expect_file "$share/doc/quarvel/changelog.gz"

  # --help and --version need no display and name the program, not its path.
  local out
  out=$(without_display "$prefix/bin/quarvel" --version) || fail "quarvel --version failed"
  expect_eq "installed quarvel --version" "$out" "quarvel 0.1.0"
  out=$(without_display "$prefix/bin/quarvel" --help | head -1) || fail "quarvel --help failed"
  expect_eq "installed quarvel --help" "$out" "Usage: quarvel [options]"
  out=$(without_display "$prefix/bin/quarvel-demo" --version) || fail "quarvel-demo --version failed"
  expect_eq "installed quarvel-demo --version" "$out" "quarvel-demo 0.1.0"

  if [ -x "$prefix/bin/quarvel-cli" ]; then
    expect_file "$share/man/man1/quarvel-cli.1.gz"
    expect_file "$share/bash-completion/completions/quarvel-cli"
    expect_file "$share/zsh/vendor-completions/_quarvel-cli"
    expect_file "$share/fish/vendor_completions.d/quarvel-cli.fish"
    without_display "$prefix/bin/quarvel-cli" --version >/dev/null || fail "quarvel-cli --version failed"
    # A well-formed IMEI (its check digit holds).
    without_display "$prefix/bin/quarvel-cli" check 356789104523673 >/dev/null ||
      fail "quarvel-cli check of a well-formed IMEI did not succeed"
  else
    echo "quarvel-cli is not built: its checks are skipped"
  fi

  out=$(validate_desktop_metadata "$share/applications/org.quarvel.Quarvel.desktop" \
    "$share/metainfo/org.quarvel.Quarvel.metainfo.xml") || fail "$out"
  grep -qF "<release version=\"$(without_display "$prefix/bin/quarvel" --version | cut -d' ' -f2)\"" \
    "$share/metainfo/org.quarvel.Quarvel.metainfo.xml" || fail "the metainfo lacks this release"
  if command -v groff >/dev/null; then
    local page
    for page in "$share"/man/man1/*.1.gz; do
      out=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1) || fail "groff $page: $out"
      [ -z "$out" ] || fail "groff warnings for $page: $out"
    done
  fi
}

# Starts the installed program headless for a few seconds and checks that it
# reads its assets from $prefix/share/quarvel and prints nothing but the
# asset-folder diagnostics turned on here.
check_installed_program_runs() {
  local prefix=$1
  local err=$tmp/quarvel.err
  local shot=$tmp/shot.png
  # The cue player needs the audio server, as for a user's session.
  source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"
  start_audio
  env -u QTWEBENGINE_CHROMIUM_FLAGS -u DISPLAY XDG_DATA_HOME="$tmp/data" \
    QT_QPA_PLATFORM=offscreen QT_MEDIA_BACKEND=gstreamer QT_LOGGING_RULES="quarvel.app.debug=true" \
    "$prefix/bin/quarvel" --lookup-host 127.0.0.1:9 --warranty-host 127.0.0.1:9 \
    --portal-host 127.0.0.1:9 --screenshot "$shot" >/dev/null 2>"$err" ||
    fail "the installed quarvel did not end well: $(cat "$err")"
  expect_file "$shot"
  grep -qF "quarvel.app: assets in \"$prefix/share/quarvel\"" "$err" ||
    fail "the installed quarvel did not take its assets from $prefix/share/quarvel: $(cat "$err")"
  local other
  other=$(grep -v '^quarvel\.app: ' "$err" || true)
  [ -z "$other" ] || fail "the installed quarvel printed more than its diagnostics: $other"
  grep -q 'missing' "$err" && fail "the installed quarvel misses an asset: $(cat "$err")"
  return 0
}

#!/usr/bin/env bash
# Makes the Debian package from the build tree (argument 1; argument 2 "no"
# for a build that is not hardened, a sanitized one) into a temporary
# folder, checks its control data and contents, extracts it to a temporary
# root, validates its desktop entry and metadata as Debian 12 does, and runs
# the programs from there.
source "$(dirname "$0")/common.sh"
build=$1
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps)"; exit 1; }
done
cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >/dev/null 2>&1 ||
  { echo "cpack failed"; exit 1; }
deb=$(ls "$tmp"/out/quarvel_*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

expect_eq "package name" "$(dpkg-deb -f "$deb" Package)" "quarvel"
expect_eq "version" "$(dpkg-deb -f "$deb" Version)" "0.1.0"
expect_eq "section" "$(dpkg-deb -f "$deb" Section)" "utils"
expect_eq "maintainer" "$(dpkg-deb -f "$deb" Maintainer)" "Quarvel developers <dev@quarvel.invalid>"
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
# From the linked libraries, with versions, and the run-time extras.
for needed in "libc6 (>=" "libqt6webenginewidgets6 (>=" "libqt6multimedia6 (>=" "libcurl4 (>=" \
  gstreamer1.0-plugins-good qt6-translations-l10n; do
  case "$depends" in *"$needed"*) ;; *) fail "Depends lacks $needed" ;; esac
done

recommends=$(dpkg-deb -f "$deb" Recommends)
case "$recommends" in *bash-completion*) ;; *) fail "Recommends lacks bash-completion: $recommends" ;; esac

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/quarvel ./usr/share/quarvel/mp3/欢迎使用.mp3 \
  ./usr/share/applications/org.quarvel.Quarvel.desktop ./usr/share/man/man1/quarvel.1.gz \
  ./usr/share/bash-completion/completions/quarvel-cli; do
  grep -qxF "$path" <<<"$contents" || fail "the package lacks $path"
done
grep -v -e '^\./usr/' <<<"$contents" | grep -q . && fail "files outside /usr: $contents"
grep -q -e '_tests$' -e 'bench_' <<<"$contents" && fail "test programs in the package"

if command -v lintian >/dev/null; then
  lintian --display-info --fail-on error,warning "$deb" >"$tmp/lintian" 2>&1 ||
    fail "lintian: $(cat "$tmp/lintian")"
  # Debian's hardening and stripping, which lintian reports as information
  # only (a sanitized build is not hardened).
  tags='binary-has-unneeded-section|unstripped'
  [ "${2:-yes}" = yes ] && tags="hardening-|$tags"
  grep -E "$tags" "$tmp/lintian" &&
    fail "lintian: the programs are not built and stripped as Debian's are"
fi

dpkg-deb -x "$deb" "$tmp/root"
for program in "$tmp"/root/usr/bin/*; do
  file "$program" | grep -q ', stripped' || fail "$(basename "$program") is not stripped"
done
check_installed_tree "$tmp/root/usr"
# The validators are strict: what Debian 12's reject, a key of a later desktop
# entry version or an AppStream tag it does not know, fails the test.
share=$tmp/root/usr/share
cp "$share/applications/org.quarvel.Quarvel.desktop" "$tmp/later.desktop"
echo "SingleMainWindow=true" >>"$tmp/later.desktop"
sed 's|</id>|</id><developer id="invalid.quarvel"><name>Q</name></developer>|' \
  "$share/metainfo/org.quarvel.Quarvel.metainfo.xml" >"$tmp/later.metainfo.xml"
validate_desktop_metadata "$tmp/later.desktop" "$share/metainfo/org.quarvel.Quarvel.metainfo.xml" \
  >/dev/null && fail "the desktop entry check takes a key Debian 12 rejects"
validate_desktop_metadata "$share/applications/org.quarvel.Quarvel.desktop" \
  "$tmp/later.metainfo.xml" >/dev/null && fail "the metainfo check takes a tag Debian 12 rejects"
check_installed_program_runs "$tmp/root/usr"
finish

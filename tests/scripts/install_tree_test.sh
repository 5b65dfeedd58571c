#!/usr/bin/env bash
# Installs the build tree (argument 1) into a temporary prefix and checks the
# installed layout and programs.
source "$(dirname "$0")/common.sh"
build=$1
cmake --install "$build" --prefix "$tmp/root/usr" >/dev/null
check_installed_tree "$tmp/root/usr"
check_installed_program_runs "$tmp/root/usr"
finish

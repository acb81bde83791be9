#!/usr/bin/env bash
# scripts/setup while a mirror is mid-sync, with stand-ins first on PATH that log each call
# and change nothing: every index update fails, and so does the first install; the install
# from the release's own archive then succeeds, or fails too.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# With both in place, setup neither writes a source list nor fetches jsoncpp's source.
[ -f /etc/apt/sources.list.d/debian-src.sources ] && compgen -G "/opt/kestrel/jsoncpp/*/src/lib_json" >/dev/null ||
  { echo "test_setup: run scripts/setup first" >&2; exit 1; }
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '#!/bin/sh\necho "$*" >>"$LOG"\ncase "$*" in install*" -t "*) exit "$SECOND" ;; esac\nexit 100\n' >"$tmp/apt-get"
# The others succeed silently: every package is missing. `id` says root, whoever runs this.
for tool in dpkg-query dpkg systemctl service update-rc.d; do printf '#!/bin/sh\n' >"$tmp/$tool"; done
printf '#!/bin/sh\necho 0\n' >"$tmp/id"
chmod +x "$tmp"/*
fail() { echo "test_setup: $*" >&2; cat "$tmp/err" "$tmp/log" >&2; exit 1; }
run() { : >"$tmp/log"; LOG="$tmp/log" SECOND=$1 KESTREL_APT_PAUSE=0 PATH="$tmp:$PATH" "$root/scripts/setup" >/dev/null 2>"$tmp/err"; }

run 0 || fail "setup failed though the install from $release succeeded"
[ "$(grep -c '^update' "$tmp/log")" -eq 3 ] || fail "apt-get update not tried 3 times"
mapfile -t installs < <(grep '^install' "$tmp/log")
[ "${#installs[@]}" -eq 2 ] && [ "${installs[1]/ -t $release / }" = "${installs[0]}" ] ||
  fail "the second install is not the first with -t"
grep -qxF "scripts/setup: an index still failed to update after 3 tries; going on without it" "$tmp/err" &&
  grep -qxF "scripts/setup: the install failed; installing from the release's own archive ($release)" "$tmp/err" ||
  fail "a message is missing"
run 100 && fail "setup succeeded though every install failed"
grep -qx "scripts/setup: could not install: [a-z].*" "$tmp/err" || fail "no one-line 'could not install'"
echo "test_setup: passed"

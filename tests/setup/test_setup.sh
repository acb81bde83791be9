#!/usr/bin/env bash
# scripts/setup when the mirror fails: stand-ins first on PATH log each call and change
# nothing. Every index fails to update and the first install fails; the install from the
# release's own archive then succeeds, or fails too.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# With both in place, setup neither writes a source list nor fetches jsoncpp's source.
if [ ! -f /etc/apt/sources.list.d/debian-src.sources ] ||
  ! compgen -G "/opt/kestrel/jsoncpp/*/src/lib_json" >/dev/null; then
  echo "test_setup: run scripts/setup first" >&2
  exit 1
fi
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat >"$tmp/apt-get" <<'EOF'
#!/bin/sh
echo "$*" >>"$STAND_IN_LOG"
case "$*" in install*" -t "*) exit "$SECOND_INSTALL" ;; esac
exit 100
EOF
# The others print nothing and succeed: every package is missing, squid is enabled.
printf '#!/bin/sh\necho "$0 $*" >>"$STAND_IN_LOG"\n' >"$tmp/dpkg-query"
for tool in dpkg systemctl service update-rc.d; do cp "$tmp/dpkg-query" "$tmp/$tool"; done
printf '#!/bin/sh\necho 0\n' >"$tmp/id"  # setup's root check, whoever runs the tests
chmod +x "$tmp"/*

fail() { echo "test_setup: $*" >&2; cat "$tmp/err" "$tmp/log" >&2; exit 1; }
run() { # the exit code of the install from the release's archive
  : >"$tmp/log"
  STAND_IN_LOG="$tmp/log" SECOND_INSTALL=$1 KESTREL_APT_PAUSE=0 PATH="$tmp:$PATH" \
    "$root/scripts/setup" >/dev/null 2>"$tmp/err"
}

run 0 || fail "setup failed though the install from $release succeeded"
[ "$(grep -c '^update' "$tmp/log")" -eq 3 ] || fail "apt-get update not tried 3 times"
mapfile -t installs < <(grep '^install' "$tmp/log")
[ "${#installs[@]}" -eq 2 ] && [ "${installs[1]/ -t $release / }" = "${installs[0]}" ] &&
  [ "${installs[1]}" != "${installs[0]}" ] || fail "the second install is not the first with -t"
updates="scripts/setup: an index still failed to update after 3 tries; going on without it"
fallback="scripts/setup: the install failed; installing from the release's own archive ($release)"
grep -qxF "$updates" "$tmp/err" && grep -qxF "$fallback" "$tmp/err" || fail "a message is missing"

run 100 && fail "setup succeeded though every install failed"
grep -q "^scripts/setup: could not install: [a-z]" "$tmp/err" || fail "no 'could not install' line"
echo "test_setup: passed"

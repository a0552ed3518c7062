#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests and the benchmark: a new cluster in a folder of
# its own, reached only through a unix socket in that folder, no TCP port.
#   scripts/pg-test-server.sh start DIR   prints the URL of its database "vendrik" on stdout
#   scripts/pg-test-server.sh stop DIR    stops the server and removes DIR
#   scripts/pg-test-server.sh run CMD...  runs CMD with VM_TEST_PG_URL naming a server of its own,
#                                         stopped afterwards (without the server programs, CMD
#                                         runs without it and the shared-database cases skip)
# The server refuses to run as root, so as root it runs as the unprivileged user "vendrik-test"
# (made when missing). Exit status 2 and a message when the server programs are not installed.
set -euo pipefail
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
if [ "${1:-}" = run ]; then
  shift
  pgdir=$(mktemp -d /tmp/vmpg.XXXXXX)
  trap '"$self" stop "$pgdir"' EXIT
  if url=$("$self" start "$pgdir"); then
    export VM_TEST_PG_URL=$url
  else
    echo "note: no PostgreSQL test server; the shared-database cases are skipped" >&2
  fi
  "$@"
  exit
fi
cmd=${1:-}; dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR | run CMD..." >&2; exit 64; }
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1 || true)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "PostgreSQL server programs not found (package postgresql); shared-database tests are skipped" >&2
  exit 2
fi
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u vendrik-test -- "$@"; else "$@"; fi
}
case "$cmd" in
start)
  mkdir -p "$dir"
  if [ "$(id -u)" -eq 0 ]; then
    id vendrik-test >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin vendrik-test
    chown vendrik-test "$dir"
    chmod 755 "$dir"
  fi
  as_owner "$bindir/initdb" -D "$dir/data" -U vendrik -A trust --no-sync -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log" >&2; exit 1; }
  # A role that must give a password, for the tests of ~/.pgpass and the password prompt.
  cat >"$dir/data/pg_hba.conf" <<HBA
local all vendrik_pw scram-sha-256
local all all trust
HBA
  # ${PG_FSYNC:-off}: the tests need no durability against power loss; the benchmark turns it on.
  as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-k $dir -c listen_addresses= -c fsync=${PG_FSYNC:-off} -c max_connections=200" start >/dev/null \
    || { cat "$dir/server.log" >&2; exit 1; }
  as_owner "$bindir/psql" -h "$dir" -U vendrik -d postgres -q -v ON_ERROR_STOP=1 \
    -c "CREATE DATABASE vendrik" \
    -c "CREATE ROLE vendrik_pw LOGIN SUPERUSER PASSWORD 'geheim'" >/dev/null
  echo "postgresql://vendrik@/vendrik?host=$dir"
  ;;
stop)
  [ -d "$dir/data" ] && as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$dir"
  ;;
*) echo "usage: $0 start|stop DIR" >&2; exit 64 ;;
esac

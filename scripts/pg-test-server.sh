#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests, listening only on a unix socket in DIR.
#   pg-test-server.sh start DIR    initdb + start; prints the connection URI
#   pg-test-server.sh restart DIR  stop and start again, keeping the data
#   pg-test-server.sh stop DIR     stop and remove DIR
# Run as root, the server runs as the postgres user (root may not run it).
set -euo pipefail
action=$1
dir=$2
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bin" ]; then
  echo "pg-test-server: no PostgreSQL server installed" >&2
  exit 1
fi
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  as_server=(runuser -u postgres --)
fi
# Only the socket. Commits do not wait for the disk (the tests' restarts are clean
# shutdowns, which write everything out), which keeps the thousands of small transactions
# quick.
options="-k $dir -c listen_addresses='' -c synchronous_commit=off"
ctl() {
  "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w "$@" >/dev/null
}
case "$action" in
  start)
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
    "${as_server[@]}" "$bin/initdb" -D "$dir/data" -A trust -U tarnel --no-sync >/dev/null
    ctl -o "$options" start
    "$bin/createdb" -h "$dir" -U tarnel tarnel_test
    echo "postgresql:///tarnel_test?host=$dir&user=tarnel"
    ;;
  restart)
    ctl -m fast restart -o "$options"
    ;;
  stop)
    ctl -m fast stop || true
    rm -rf "$dir"
    ;;
  *)
    echo "usage: $0 start|restart|stop DIR" >&2
    exit 2
    ;;
esac

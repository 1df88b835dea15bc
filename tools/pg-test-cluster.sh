#!/usr/bin/env bash
# A throwaway PostgreSQL cluster on loopback for the tests.
#   tools/pg-test-cluster.sh start DIR   -> initdb + pg_ctl start in DIR on a free port; prints the
#                                           connection string (also written to DIR/conninfo)
#   tools/pg-test-cluster.sh restart DIR -> stops the server and starts it again (same port and data)
#   tools/pg-test-cluster.sh stop DIR    -> stops the server and removes DIR
# Runs the server as the "postgres" user when started as root (initdb refuses root).
set -euo pipefail
cmd=${1:?start|stop}
dir=${2:?directory}

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$bindir" ] || { echo "pg-test-cluster: no PostgreSQL server installed" >&2; exit 1; }

as_pg() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

case "$cmd" in
  start)
    rm -rf "$dir"
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
    as_pg "$bindir/initdb" -D "$dir/data" -U zem --auth=trust -E UTF8 --locale=C >"$dir/initdb.log" 2>&1 \
      || { cat "$dir/initdb.log" >&2; exit 1; }
    as_pg "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off" start >/dev/null \
      || { cat "$dir/server.log" >&2; exit 1; }
    as_pg "$bindir/createdb" -h 127.0.0.1 -p "$port" -U zem zem_test
    conn="host=127.0.0.1 port=$port user=zem dbname=zem_test"
    echo "$conn" | as_pg tee "$dir/conninfo" >/dev/null
    echo "$conn"
    ;;
  restart)
    as_pg "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -m fast restart >/dev/null \
      || { cat "$dir/server.log" >&2; exit 1; }
    ;;
  stop)
    if [ -d "$dir/data" ]; then
      as_pg "$bindir/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  *) echo "usage: $0 start|restart|stop DIR" >&2; exit 2 ;;
esac

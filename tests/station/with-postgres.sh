#!/bin/sh
# with-postgres.sh STATE COMMAND...: runs COMMAND with VEXAR_STATION_DB_URL naming a throwaway
# PostgreSQL server's database, removed afterwards. pg_virtualenv -t keeps the cluster and its
# configuration in a temporary folder, so that even as root nothing is written under /etc.
# STATE records the server while it runs: one left by a killed run is stopped and removed first.
# The server never gets the sanitizer's preload; COMMAND gets it back.
set -eu
state=$1
shift
if [ -f "$state" ]; then
  read -r pid folder <"$state" || true
  if [ -n "${pid:-}" ] && grep -qs "$folder" "/proc/$pid/cmdline"; then
    kill -9 "$pid" 2>/dev/null || true
  fi
  case ${folder:-} in /tmp/pg_virtualenv.*) rm -rf "$folder" ;; esac
  rm -f "$state"
fi
command -v pg_virtualenv >/dev/null || { echo "with-postgres.sh: pg_virtualenv missing; run scripts/setup.sh" >&2; exit 1; }
export VEXAR_STATION_STATE=$state VEXAR_SAVED_PRELOAD=${LD_PRELOAD:-}
# A temporary cluster knows of no other, so it would take 5432 even while another test's
# server holds it: a port free now is given instead.
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
exec env -u LD_PRELOAD pg_virtualenv -t -c "--port=$port" sh -c '
  data=$(psql -Atc "show data_directory")
  echo "$(head -1 "$data/postmaster.pid") ${data%%/data/*}" >"$VEXAR_STATION_STATE"
  trap "rm -f \"\$VEXAR_STATION_STATE\"" EXIT
  VEXAR_STATION_DB_URL="postgresql://$PGUSER:$PGPASSWORD@$PGHOST:$PGPORT/$PGDATABASE" \
    LD_PRELOAD=$VEXAR_SAVED_PRELOAD "$@"' with-postgres "$@"

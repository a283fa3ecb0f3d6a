#!/usr/bin/env bash
# Runs a command beside a private PostgreSQL cluster on loopback with private ODBC data
# sources: "finance" (role dba/qxj, unencrypted), "finance_tls" (the same login over TLS,
# SSLmode=require, with a self-signed certificate made for this run) and "finance_login"
# (no stored login: the program asks for it). Nothing is written to the machine's own ODBC or
# PostgreSQL configuration, and the user's own password file is not read; the cluster is
# stopped and removed afterwards. With VERNA_PG_DATA=DIR the cluster's data lives in DIR and
# is kept between runs (made on the first), so large benchmark fixtures are built only once.
#   scripts/test-postgres.sh COMMAND [ARGS...]
set -euo pipefail

initdb=$(ls /usr/lib/postgresql/*/bin/initdb 2>/dev/null | sort -V | tail -n 1 || true)
[ -n "$initdb" ] || { echo "PostgreSQL (initdb) is not installed" >&2; exit 1; }
bindir=$(dirname "$initdb")
driver=$(ls /usr/lib/*/odbc/psqlodbcw.so /usr/lib/odbc/psqlodbcw.so 2>/dev/null | head -n 1 || true)
[ -n "$driver" ] || { echo "psqlODBC (psqlodbcw.so) is not installed" >&2; exit 1; }

work=$(mktemp -d /tmp/verna-pg.XXXXXX)
as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  # initdb refuses to run as root: the cluster belongs to the postgres account.
  chown postgres "$work"
  as_owner=(runuser -u postgres --)
fi

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')

data="$work/data"
if [ -n "${VERNA_PG_DATA:-}" ]; then
  mkdir -p "$(dirname "$VERNA_PG_DATA")"
  data=$(cd "$(dirname "$VERNA_PG_DATA")" && pwd)/$(basename "$VERNA_PG_DATA")
fi

cleanup() {
  if [ "$data" = "$work/data" ]; then
    "${as_owner[@]}" "$bindir/pg_ctl" -D "$data" -m immediate stop >/dev/null 2>&1 || true
  else
    # A kept cluster is stopped cleanly, so its next start needs no recovery.
    "${as_owner[@]}" "$bindir/pg_ctl" -D "$data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "qxj" > "$work/pw"
chmod 644 "$work/pw"
if [ ! -f "$data/PG_VERSION" ]; then
  rm -rf "$data"
  mkdir -p "$data"
  [ "$(id -u)" -ne 0 ] || chown postgres "$data"
  "${as_owner[@]}" "$initdb" -D "$data" -E UTF8 --locale=C.UTF-8 -U dba --pwfile="$work/pw" -A scram-sha-256 >"$work/initdb.log" 2>&1 \
    || { cat "$work/initdb.log" >&2; exit 1; }
fi
# The server's certificate: self-signed for this run, its key readable by the server only.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=127.0.0.1" \
  -keyout "$work/server.key" -out "$work/server.crt" >"$work/openssl.log" 2>&1 \
  || { cat "$work/openssl.log" >&2; exit 1; }
chmod 600 "$work/server.key"
[ "$(id -u)" -ne 0 ] || chown postgres "$work/server.key" "$work/server.crt"
"${as_owner[@]}" "$bindir/pg_ctl" -D "$data" -l "$work/server.log" -w \
  -o "-p $port -k $work -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=60 -c ssl=on -c ssl_cert_file=$work/server.crt -c ssl_key_file=$work/server.key" start >/dev/null \
  || { cat "$work/server.log" >&2; exit 1; }
if [ -z "$(PGPASSWORD=qxj "$bindir/psql" -h 127.0.0.1 -p "$port" -U dba -d postgres -tAq -c "SELECT 1 FROM pg_database WHERE datname = 'finance'")" ]; then
  PGPASSWORD=qxj "$bindir/psql" -h 127.0.0.1 -p "$port" -U dba -d postgres -q -c "CREATE DATABASE finance" >/dev/null
fi

mkdir -p "$work/odbc"
cat > "$work/odbc/odbcinst.ini" <<INI
[PostgreSQL Unicode]
Description=PostgreSQL ODBC driver (Unicode)
Driver=$driver
INI
cat > "$work/odbc/odbc.ini" <<INI
[finance]
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=$port
Database=finance
Username=dba
Password=qxj
SSLmode=disable

[finance_tls]
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=$port
Database=finance
Username=dba
Password=qxj
SSLmode=require

[finance_login]
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=$port
Database=finance
SSLmode=disable
INI
export ODBCSYSINI="$work/odbc"
export ODBCINI="$work/odbc/odbc.ini"
export VERNA_TEST_POSTGRES=required
export VERNA_TEST_PG_PORT="$port"
# psql and the benchmark's COPY reach the same server as the data sources.
export VERNA_TEST_PG_BIN="$bindir"
# A password file of the user's would log "finance_login" in without asking.
export PGPASSFILE="$work/pgpass"

set +e
"$@"
status=$?
set -e
exit $status

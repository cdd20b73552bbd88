#!/usr/bin/env bash
# Sets up and runs oltsrv in the foreground on an embedded default: a local
# MariaDB in run/db with the test schema (not the system's server), olt.ini and
# the installation files in run/, the service started with --home run.
# Ctrl-C (SIGINT) ends the service; the database is stopped with it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
run=${OLTSRV_RUN_DIR:-$root/run}

bash scripts/install-deps.sh
bash scripts/build.sh build

mkdir -p "$run"
bash scripts/testdb.sh start "$run/db"
tailpid=
simpid=
cleanup() {
  [ -n "$tailpid" ] && kill "$tailpid" 2>/dev/null
  [ -n "$simpid" ] && kill "$simpid" 2>/dev/null
  bash "$root/scripts/testdb.sh" stop "$run/db" >/dev/null
}
trap cleanup EXIT
port=$(cat "$run/db/port")
password=$(cat "$run/db/password")
sql=(mariadb --no-defaults -h127.0.0.1 -P"$port" -uroot -p"$password")
if [ -z "$("${sql[@]}" -N -e "SHOW DATABASES LIKE 'VUXdb'")" ]; then
  "${sql[@]}" -e "CREATE DATABASE VUXdb CHARACTER SET utf8mb4"
  "${sql[@]}" VUXdb <sql/schema.sql
  "${sql[@]}" VUXdb <sql/seed.sql
  echo "run: database VUXdb created from sql/schema.sql and sql/seed.sql"
fi

cp install/* "$run/"
cp build/tools/koordinaten-konverter.exe "$run/"
# A self-signed certificate for the endpoint, made once; an installation puts its own there.
if [ ! -f "$run/olt.cer" ] || [ ! -f "$run/olt.key" ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=$(hostname)" \
    -keyout "$run/olt.key" -out "$run/olt.cer" >/dev/null 2>&1
fi
cat >"$run/olt.ini" <<INI
[OLT]
Name=OLT Musterkreis

[Database]
Database=VUXdb
Hostname=127.0.0.1
User=root
Passwort=$password
Port=$port

[VUX-Server]
Host=127.0.0.1
Port=2200

[Server]
SSL=1
WS-Port=8443
INI

# The VUX telegram server stand-in; what it receives goes to run/vux-sim.log.
build/tools/vux-sim --port 2200 --poll 30000 </dev/null >"$run/vux-sim.log" 2>&1 &
simpid=$!

echo "run: oltsrv --home $run (log: $run/olt-schnittstelle.log); Ctrl-C ends it"
echo "run: post a sample with: bash scripts/post-example.sh EinsatzWeiterleiten (telegrams: $run/vux-sim.log)"
touch "$run/olt-schnittstelle.log"
tail -n 0 -F "$run/olt-schnittstelle.log" 2>/dev/null &
tailpid=$!
status=0
build/src/oltsrv --home "$run" || status=$?
exit $status

#!/usr/bin/env bash
# Intake throughput: the sample EinsatzWeiterleiten (about 30 mapped fields,
# 3 feedback entries, 2 patients, 3 resources, coordinates) posted over HTTPS
# for SECONDS, each time as a new incident, against a service with the real
# coordinate converter and the VUX simulator. In the same run the floor: the
# request's SQL statements, as the database received them, replayed through
# one connection. Loopback only; bounded in time.
#   intake-bench.sh [SECONDS]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/install-deps.sh
bash scripts/build.sh build >/dev/null
source scripts/common.sh

start_workdir oltsrv-intake

start_vuxdb "$work/db"
sql=(mariadb --no-defaults -h127.0.0.1 -P"$db_port" -uroot -p"$db_password")
ws=$(free_port)
vux=$(free_port)
make_service_home "$work/home" "$ws" "$vux"
build/tools/vux-sim --port "$vux" --poll 30000 </dev/null >/dev/null &
pids+=($!)
TZ=Europe/Berlin build/src/oltsrv --home "$work/home" &
pids+=($!)
wait_started "$work/home"

url="https://127.0.0.1:$ws/"
post() {
  sed "s/ILS-2024-000123/$1/" examples/EinsatzWeiterleiten.xml |
    curl -sk --max-time 30 -H 'Content-Type: text/xml; charset=utf-8' --data-binary @- "$url" >/dev/null
}
post WARMUP-1
# One request's statements, as the server received them.
"${sql[@]}" -e "SET GLOBAL log_output='TABLE'; TRUNCATE mysql.general_log; SET GLOBAL general_log=1"
post CAPTURE-1
"${sql[@]}" -e "SET GLOBAL general_log=0"
thread=$("${sql[@]}" -N -e "SELECT thread_id FROM mysql.general_log WHERE argument LIKE 'INSERT INTO EINSAETZE%' LIMIT 1")
"${sql[@]}" -N -e "SELECT HEX(argument) FROM mysql.general_log WHERE thread_id = $thread AND command_type IN ('Query','Execute') ORDER BY event_time" >"$work/statements.hex"

build/benchmarks/intake_bench "$url" examples/EinsatzWeiterleiten.xml "$work/statements.hex" \
  "$seconds" "$db_port" "$db_password" VUXdb

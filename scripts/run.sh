#!/usr/bin/env bash
# Sets up and runs oltsrv in the foreground on an embedded default: a local
# MariaDB in run/db with the test schema and demo catalogue (not the system's
# server), olt.ini, certificate and installation files in run/, the VUX
# simulator on port 2200, the service started with --home run.
# Ctrl-C (SIGINT) ends the service; the simulator and database stop with it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
run=${OLTSRV_RUN_DIR:-$root/run}

bash scripts/install-deps.sh
bash scripts/build.sh build
source scripts/common.sh

tailpid=
simpid=
# Ctrl-C reaches the simulator too, so it may be gone already: a failed kill
# must not end the clean-up (set -e) before the database is stopped.
cleanup() {
  for pid in $tailpid $simpid; do kill "$pid" 2>/dev/null || true; done
  bash "$root/scripts/testdb.sh" stop "$run/db" >/dev/null || true
}
mkdir -p "$run"
trap cleanup EXIT
start_vuxdb "$run/db"
make_service_home "$run" 8443 2200

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

# Shared steps of the run and benchmark scripts; sourced, not run.
# Expects the working directory to be the project root.

# Starts the private MariaDB in DIR and makes sure it holds VUXdb with the
# test schema and the demo catalogue. Sets db_port and db_password.
start_vuxdb() {
  local dir=$1
  bash scripts/testdb.sh start "$dir" >/dev/null
  db_port=$(cat "$dir/port")
  db_password=$(cat "$dir/password")
  local sql=(mariadb --no-defaults -h127.0.0.1 -P"$db_port" -uroot -p"$db_password")
  if [ -z "$("${sql[@]}" -N -e "SHOW DATABASES LIKE 'VUXdb'")" ]; then
    "${sql[@]}" -e "CREATE DATABASE VUXdb CHARACTER SET utf8mb4"
    "${sql[@]}" VUXdb <sql/schema.sql
    "${sql[@]}" VUXdb <sql/seed.sql
  fi
}

# A self-signed olt.cer/olt.key in DIR unless both are there.
make_certificate() {
  local dir=$1
  [ -f "$dir/olt.cer" ] && [ -f "$dir/olt.key" ] && return 0
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=$(hostname)" \
    -keyout "$dir/olt.key" -out "$dir/olt.cer" >/dev/null 2>&1
}

# A service folder DIR: installation files, converter, certificate and an
# olt.ini for the database of start_vuxdb, the VUX server on VUX_PORT and the
# endpoint on WS_PORT.
make_service_home() {
  local dir=$1 ws_port=$2 vux_port=$3
  mkdir -p "$dir"
  cp install/* build/tools/koordinaten-konverter.exe "$dir/"
  make_certificate "$dir"
  cat >"$dir/olt.ini" <<INI
[OLT]
Name=OLT Musterkreis

[Database]
Database=VUXdb
Hostname=127.0.0.1
User=root
Passwort=$db_password
Port=$db_port

[VUX-Server]
Host=127.0.0.1
Port=$vux_port

[Server]
SSL=1
WS-Port=$ws_port
INI
}

# Waits (at most 20 s) until the service in DIR has started.
wait_started() {
  local dir=$1
  for _ in $(seq 1 200); do
    grep -q "gestartet auf Port" "$dir/olt-schnittstelle.log" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "the service in $dir did not start, see its log" >&2
  return 1
}

free_port() { echo $((20000 + RANDOM % 40000)); }

# A work folder for a benchmark: processes added to `pids` are ended, its
# database is stopped and the folder removed when the script exits.
start_workdir() {
  work=$(mktemp -d "/tmp/$1-XXXXXX")
  pids=()
  trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
        bash scripts/testdb.sh stop "$work/db" >/dev/null 2>&1 || true
        rm -rf "$work"' EXIT
}

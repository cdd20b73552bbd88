#!/usr/bin/env bash
# A private MariaDB server in a folder of its own, on its own socket and a free
# loopback port, with TLS (self-signed) and a root account with a password.
#
#   testdb.sh start DIR   create (if needed) and start the server; writes DIR/port
#   testdb.sh stop DIR    stop it
#
# Clients read DIR/port, DIR/socket, DIR/password. Nothing of the system's own
# MariaDB installation is used or touched.
set -euo pipefail

cmd=${1:?usage: testdb.sh start|stop DIR}
dir=${2:?usage: testdb.sh start|stop DIR}
password=${OLTSRV_TESTDB_PASSWORD:-oltsrv-test}

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
socket=$dir/mysqld.sock
pidfile=$dir/mysqld.pid

server_user() { id -un; }

is_running() {
  [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null
}

port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

stop_server() {
  if is_running; then
    local pid
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$pidfile"
}

make_certificate() {
  [ -f "$dir/server.pem" ] && return 0
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=localhost" \
    -keyout "$dir/server.key" -out "$dir/server.pem" >/dev/null 2>&1
}

install_datadir() {
  [ -d "$dir/data/mysql" ] && return 0
  rm -rf "$dir/data"
  mariadb-install-db --no-defaults --datadir="$dir/data" --user="$(server_user)" \
    --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1
}

start_server() {
  local port
  for _ in $(seq 1 20); do
    port=$((20000 + RANDOM % 40000))
    port_in_use "$port" && continue
    mariadbd --no-defaults --datadir="$dir/data" --socket="$socket" --pid-file="$pidfile" \
      --port="$port" --bind-address=127.0.0.1 --user="$(server_user)" \
      --skip-name-resolve --log-error="$dir/error.log" \
      --ssl-cert="$dir/server.pem" --ssl-key="$dir/server.key" \
      --innodb-buffer-pool-size=64M --innodb-log-file-size=16M --max-connections=500 \
      --innodb-flush-log-at-trx-commit=2 --sync-binlog=0 --skip-log-bin \
      </dev/null >>"$dir/server.out" 2>&1 &
    for _ in $(seq 1 300); do
      if mariadb-admin --no-defaults --socket="$socket" -uroot --password="$password" ping >/dev/null 2>&1 ||
         mariadb-admin --no-defaults --socket="$socket" -uroot ping >/dev/null 2>&1; then
        echo "$port" >"$dir/port"
        return 0
      fi
      kill -0 $! 2>/dev/null || break
      sleep 0.1
    done
    stop_server
  done
  echo "testdb: MariaDB did not start, see $dir/error.log" >&2
  tail -20 "$dir/error.log" >&2 || true
  return 1
}

set_accounts() {
  local sql="" host
  for host in localhost 127.0.0.1 ::1 "$(hostname)"; do
    sql+="ALTER USER IF EXISTS 'root'@'$host' IDENTIFIED BY '$password';"$'\n'
  done
  sql+="CREATE USER IF NOT EXISTS 'root'@'%' IDENTIFIED BY '$password';
GRANT ALL PRIVILEGES ON *.* TO 'root'@'%' WITH GRANT OPTION;
FLUSH PRIVILEGES;"
  mariadb --no-defaults --socket="$socket" -uroot --password="$password" -e "$sql" 2>/dev/null ||
    mariadb --no-defaults --socket="$socket" -uroot -e "$sql"
}

case "$cmd" in
  start)
    stop_server
    make_certificate
    install_datadir
    start_server
    set_accounts
    echo "$socket" >"$dir/socket"
    echo "$password" >"$dir/password"
    echo "testdb: MariaDB on 127.0.0.1:$(cat "$dir/port") (socket $socket)"
    ;;
  stop)
    stop_server
    echo "testdb: stopped"
    ;;
  *)
    echo "usage: testdb.sh start|stop DIR" >&2
    exit 2
    ;;
esac

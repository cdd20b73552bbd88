#!/usr/bin/env bash
# Load on the SOAP endpoint over TLS 1.2 with wrk: a small SOAP request that
# fails fast (unknown operation), against oltsrv and, in the same run, against
# nginx serving a static reply with the same certificate. Prints both rates
# and their ratio. Loopback only; bounded in time.
#   endpoint-bench.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

bash scripts/install-deps.sh wrk nginx-light
bash scripts/build.sh build >/dev/null
source scripts/common.sh

start_workdir oltsrv-bench

start_vuxdb "$work/db"
ws=$(free_port)
nginx_port=$(free_port)
make_service_home "$work/home" "$ws" 1
build/src/oltsrv --home "$work/home" &
pids+=($!)

cat >"$work/request.xml" <<'XML'
<?xml version="1.0" encoding="utf-8"?><soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body><Ping><Sender>ILS</Sender></Ping></soap:Body></soap:Envelope>
XML
cat >"$work/post.lua" <<LUA
local f = io.open("$work/request.xml", "rb")
wrk.method = "POST"
wrk.body = f:read("*a")
f:close()
wrk.headers["Content-Type"] = "text/xml; charset=utf-8"
LUA

mkdir -p "$work/nginx"
cat >"$work/nginx/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $work/nginx;
  server {
    listen 127.0.0.1:$nginx_port ssl;
    ssl_certificate $work/home/olt.cer;
    ssl_certificate_key $work/home/olt.key;
    ssl_protocols TLSv1.2;
    location / {
      default_type "text/xml; charset=utf-8";
      return 200 '<?xml version="1.0" encoding="utf-8"?><soap:Envelope><soap:Body><olt:Response><Success>false</Success></olt:Response></soap:Body></soap:Envelope>';
    }
  }
}
CONF
nginx -c "$work/nginx/nginx.conf" -g "daemon off;" &
pids+=($!)

wait_started "$work/home"

rate() {
  wrk -t2 -c4 -d"${seconds}s" --timeout 5s -s "$work/post.lua" "$1" |
    awk '/Requests\/sec/ {print $2}'
}
oltsrv_rate=$(rate "https://127.0.0.1:$ws/")
nginx_rate=$(rate "https://127.0.0.1:$nginx_port/")
echo "oltsrv endpoint (TLS 1.2, unknown operation): ${oltsrv_rate} requests/s"
echo "nginx static reply (TLS 1.2, same certificate): ${nginx_rate} requests/s"
awk -v a="$oltsrv_rate" -v b="$nginx_rate" 'BEGIN { printf "ratio oltsrv/nginx: %.3f\n", a / b }'

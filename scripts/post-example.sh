#!/usr/bin/env bash
# Posts one of the sample ILS requests in examples/ to a running service and
# prints its SOAP reply.
#   post-example.sh NAME [URL]   NAME: EinsatzWeiterleiten, EinsatzInfoWeiterleiten,
#                                EinsatzmittelVerlegen; URL default https://127.0.0.1:8443/
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:?usage: post-example.sh NAME [URL]}
url=${2:-https://127.0.0.1:8443/}
curl -sk --max-time 30 -H 'Content-Type: text/xml; charset=utf-8' \
  --data-binary @"examples/$name.xml" "$url"
echo

#!/usr/bin/env bash
# Makes wget-site.warc.gz with a real WARC writer: GNU Wget crawling the pages
# of site/ served by Python's http.server on the loopback address only.
# Run from this folder; the file is committed, so the tests do not need wget.
set -euo pipefail
cd "$(dirname "$0")"
port=${PORT:-8765}
python3 -m http.server --bind 127.0.0.1 "$port" --directory site >/dev/null 2>&1 &
server=$!
trap 'kill $server' EXIT
sleep 1
work=$(mktemp -d)
(cd "$work" && wget -q -r -l 3 --warc-file=site --no-warc-keep-log "http://127.0.0.1:$port/" || true)
cp "$work/site.warc.gz" wget-site.warc.gz
rm -rf "$work"

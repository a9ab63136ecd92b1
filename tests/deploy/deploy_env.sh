#!/usr/bin/env bash
# Runs the recipes of deploy/ on 127.0.0.1 as the current user, in a scratch
# folder, in front of an Owlglance that already listens on OWL_PORT:
#   deploy_env.sh up FOLDER OWL_PORT   starts nginx and the HLS restreamer;
#                                      FOLDER/env then holds HTTPS_PORT,
#                                      HTTP_PORT, PASSWORD and CERT
#   deploy_env.sh down FOLDER          stops both
#   deploy_env.sh port                 prints a free port
# The site, the HLS location and FFmpeg's command line are the shipped
# files themselves, with only ports and paths changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 20000))
    ss -Hltn "sport = :$port" | grep -q . || { echo "$port"; return; }
  done
}

# Replaces $2 by $3 in file $1, and fails when $2 isn't there: a recipe
# that changed shape must not go untested.
replace() {
  grep -qF -- "$2" "$1" || { echo "deploy_env: '$2' is no longer in $1" >&2; exit 1; }
  local text
  text=$(<"$1")
  printf '%s\n' "${text//"$2"/"$3"}" >"$1"
}

# FFmpeg's arguments from the unit's ExecStart, as systemd reads them.
hls_command() {  # hls_command STREAM_URL OUTPUT_FOLDER
  local line
  line=$(sed -n '/^ExecStart=/,/[^\\]$/p' "$root/deploy/hls/owlglance-hls.service" |
    sed -e 's/^ExecStart=//' -e 's/\\$//' | tr '\n' ' ')
  line=${line//'${OWLGLANCE_STREAM}'/$1}
  line=${line//\/run\/owlglance-hls\//$2/}
  line=${line//%%/%}
  echo "$line"
}

up() {
  local folder=$1 owl_port=$2
  mkdir -p "$folder/nginx/tmp" "$folder/hls"
  chmod 755 "$folder" "$folder/nginx" "$folder/hls"
  local https_port http_port password
  https_port=$(free_port)
  http_port=$(free_port)
  password=$(openssl rand -hex 8)

  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
    -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$folder/nginx/key.pem" -out "$folder/nginx/cert.pem" 2>/dev/null
  printf 'viewer:%s\n' "$(openssl passwd -apr1 "$password")" >"$folder/nginx/htpasswd"
  chmod 644 "$folder/nginx/htpasswd"

  local site=$folder/nginx/owlglance.conf hls=$folder/nginx/hls.conf
  cp "$root/deploy/nginx/owlglance.conf" "$site"
  cp "$root/deploy/hls/owlglance-hls.nginx.conf" "$hls"
  replace "$site" "server 127.0.0.1:8080;" "server 127.0.0.1:$owl_port;"
  replace "$site" "listen 80;" "listen 127.0.0.1:$http_port;"
  replace "$site" "listen [::]:80;" ""
  replace "$site" "listen 443 ssl http2;" "listen 127.0.0.1:$https_port ssl http2;"
  replace "$site" "listen [::]:443 ssl http2;" ""
  replace "$site" "/etc/nginx/owlglance/" "$folder/nginx/"
  replace "$hls" "/run/owlglance-hls/" "$folder/hls/"

  # nginx's own frame: logs, pid and temporary files in the scratch folder.
  # Run as root, its workers would become nobody; keep them this user.
  {
    [ "$(id -u)" -eq 0 ] && echo "user root;"
    cat <<NGINX
worker_processes 1;
pid $folder/nginx/nginx.pid;
error_log $folder/nginx/error.log;
events { worker_connections 1024; }
http {
    include /etc/nginx/mime.types;
    access_log $folder/nginx/access.log;
    client_body_temp_path $folder/nginx/tmp/body;
    proxy_temp_path $folder/nginx/tmp/proxy;
    fastcgi_temp_path $folder/nginx/tmp/fastcgi;
    uwsgi_temp_path $folder/nginx/tmp/uwsgi;
    scgi_temp_path $folder/nginx/tmp/scgi;
    include $site;
}
NGINX
  } >"$folder/nginx/nginx.conf"
  nginx -e "$folder/nginx/error.log" -p "$folder/nginx" -c "$folder/nginx/nginx.conf"

  # The restreamer, started again whenever the stream ends (Restart=always).
  local -a ffmpeg
  read -r -a ffmpeg <<<"$(hls_command "http://127.0.0.1:$owl_port/video" "$folder/hls")"
  setsid bash -c 'while :; do "$@"; sleep 2; done' restream "${ffmpeg[@]}" \
    >"$folder/ffmpeg.log" 2>&1 </dev/null &
  echo $! >"$folder/restream.pid"

  cat >"$folder/env" <<ENV
HTTPS_PORT=$https_port
HTTP_PORT=$http_port
PASSWORD=$password
CERT=$folder/nginx/cert.pem
ENV
  # Ready when nginx answers.
  local i
  for i in $(seq 50); do
    curl -s -o /dev/null --cacert "$folder/nginx/cert.pem" "https://127.0.0.1:$https_port/" && return
    sleep 0.1
  done
  echo "deploy_env: nginx does not answer on port $https_port" >&2
  cat "$folder/nginx/error.log" >&2
  exit 1
}

down() {
  local folder=$1 restream= nginx= i
  [ -f "$folder/restream.pid" ] && restream=$(cat "$folder/restream.pid")
  [ -f "$folder/nginx/nginx.pid" ] && nginx=$(cat "$folder/nginx/nginx.pid")
  [ -n "$restream" ] && kill -TERM -- "-$restream" 2>/dev/null
  [ -n "$nginx" ] && kill -QUIT "$nginx" 2>/dev/null
  for i in $(seq 50); do
    { [ -n "$restream" ] && pgrep -g "$restream" >/dev/null; } ||
      { [ -n "$nginx" ] && kill -0 "$nginx" 2>/dev/null; } || break
    sleep 0.1
  done
  [ -n "$restream" ] && kill -KILL -- "-$restream" 2>/dev/null
  [ -n "$nginx" ] && kill -KILL "$nginx" 2>/dev/null
  rm -f "$folder/restream.pid"
  return 0
}

case "${1:-}" in
  up) up "$2" "$3" ;;
  down) down "$2" ;;
  port) free_port ;;
  *) echo "usage: deploy_env.sh up FOLDER OWL_PORT | down FOLDER | port" >&2; exit 2 ;;
esac

#!/bin/sh
# A private CUPS daemon with one pass-through queue, for tests that must see
# exactly the bytes a print job delivers.
#
#   cups_daemon.sh start DIR PORT
#       Sets up DIR (configuration, spool, logs), starts cupsd listening on
#       127.0.0.1:PORT and on DIR/cups.sock, creates the queue "vivid-raw"
#       whose device is file:DIR/out/job.prn (each job replaces the file),
#       waits until the scheduler answers and prints the value for
#       CUPS_SERVER (DIR/cups.sock) on stdout. Exit status 0 on success; on
#       failure a message on stderr, the daemon stopped, status 1.
#   cups_daemon.sh stop DIR
#       Stops the daemon started for DIR (by its pid) and waits until it has
#       gone.
#
# The queue's minimal PPD has the single filter gziptoany, for raw data and
# for PDF (the band path's jobs), which passes the data through unchanged (data starting with the gzip magic 1f 8b would be
# decompressed; printer streams start with ESC). Never point cupsctl at this
# instance: it would rewrite the configuration with the system defaults.
set -u

QUEUE=vivid-raw

die() {
  echo "cups_daemon.sh: $*" >&2
  exit 1
}

# True while the process runs (a zombie, waiting for a parent that never
# reaps it, counts as gone).
alive() {
  kill -0 "$1" 2>/dev/null || return 1
  state=$(sed -n 's/^State:[[:space:]]*\([A-Z]\).*/\1/p' "/proc/$1/status" 2>/dev/null)
  [ "$state" != Z ]
}

stop() {
  dir=$1
  [ -f "$dir/cupsd.pid" ] || return 0
  pid=$(cat "$dir/cupsd.pid")
  rm -f "$dir/cupsd.pid"
  case "$pid" in '' | *[!0-9]*) return 0 ;; esac
  kill "$pid" 2>/dev/null || return 0
  i=0
  while alive "$pid"; do
    i=$((i + 1))
    if [ $i -eq 100 ]; then kill -9 "$pid" 2>/dev/null; fi
    [ $i -gt 150 ] && die "cupsd (pid $pid) does not stop"
    sleep 0.1
  done
  return 0
}

start() {
  dir=$1
  port=$2
  case "$port" in '' | *[!0-9]*) die "bad port '$port'" ;; esac
  [ -x /usr/sbin/cupsd ] || die "/usr/sbin/cupsd is missing (install cups-daemon)"
  [ -x /usr/lib/cups/filter/gziptoany ] || die "/usr/lib/cups/filter/gziptoany is missing (install cups-core-drivers)"
  command -v lpadmin >/dev/null && command -v lpstat >/dev/null || die "lpadmin/lpstat missing (install cups-client)"
  mkdir -p "$dir" || die "cannot create $dir"
  dir=$(cd "$dir" && pwd) || die "cannot enter $dir"
  [ -f "$dir/cupsd.pid" ] && stop "$dir"

  mkdir -p "$dir/etc/ppd" "$dir/spool/tmp" "$dir/cache" "$dir/state" "$dir/log" "$dir/out" || die "cannot create folders in $dir"
  # Filters run as user lp when the daemon runs as root: they must be able to
  # reach the spool files and the output folder.
  chmod 755 "$dir" "$dir/etc" "$dir/log"
  if [ "$(id -u)" -eq 0 ]; then
    # Every folder above must be searchable by others too, or the filter
    # cannot open the spooled document ("Permission denied").
    up=$(dirname "$dir")
    while [ "$up" != / ]; do
      [ -n "$(find "$up" -maxdepth 0 -perm -o=x)" ] ||
        die "$up is not searchable by others; the queue's filter (user lp) could not reach $dir"
      up=$(dirname "$up")
    done
  fi
  chmod 1777 "$dir/spool/tmp"
  chmod 777 "$dir/out"
  chmod 710 "$dir/spool"
  chgrp lp "$dir/spool" 2>/dev/null || chmod 755 "$dir/spool"
  cp /usr/share/cups/mime/mime.types /usr/share/cups/mime/mime.convs "$dir/etc/" || die "cannot copy the mime tables"

  cat >"$dir/etc/cups-files.conf" <<CONF
ServerRoot $dir/etc
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ServerBin /usr/lib/cups
DataDir /usr/share/cups
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
FileDevice Yes
SystemGroup root
Printcap $dir/state/printcap
CONF

  cat >"$dir/etc/cupsd.conf" <<CONF
LogLevel info
Listen 127.0.0.1:$port
Listen $dir/cups.sock
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow localhost
</Location>
<Policy default>
  JobPrivateAccess default
  JobPrivateValues default
  SubscriptionPrivateAccess default
  SubscriptionPrivateValues default
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF

  cat >"$dir/etc/vivid-raw.ppd" <<'PPD'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "VIVIDRAW.PPD"
*Manufacturer: "Vividrome"
*Product: "(Raw pass-through)"
*ModelName: "Vividrome raw pass-through"
*ShortNickName: "Vividrome raw"
*NickName: "Vividrome raw pass-through"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*cupsVersion: 2.4
*cupsFilter: "application/vnd.cups-raw 0 gziptoany"
*cupsFilter: "application/pdf 0 gziptoany"
*OpenUI *PageSize: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: ""
*CloseUI: *PageSize
*DefaultImageableArea: A4
*ImageableArea A4/A4: "0 0 595 842"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
PPD

  /usr/sbin/cupsd -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" -f \
    </dev/null >"$dir/log/cupsd.out" 2>&1 &
  echo $! >"$dir/cupsd.pid"

  CUPS_SERVER=$dir/cups.sock
  export CUPS_SERVER
  i=0
  until lpstat -r 2>/dev/null | grep -q "is running"; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! alive "$(cat "$dir/cupsd.pid")"; then
      cat "$dir/log/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null
      stop "$dir"
      die "cupsd did not start"
    fi
    sleep 0.1
  done

  if ! lpadmin -p "$QUEUE" -v "file:$dir/out/job.prn" -P "$dir/etc/vivid-raw.ppd" -E >"$dir/log/lpadmin.out" 2>&1 ||
     ! cupsenable "$QUEUE" >>"$dir/log/lpadmin.out" 2>&1 ||
     ! cupsaccept "$QUEUE" >>"$dir/log/lpadmin.out" 2>&1; then
    cat "$dir/log/lpadmin.out" "$dir/log/error_log" >&2 2>/dev/null
    stop "$dir"
    die "cannot create the queue $QUEUE"
  fi
  echo "$CUPS_SERVER"
}

case "${1:-}" in
  start)
    [ $# -eq 3 ] || die "usage: cups_daemon.sh start DIR PORT"
    start "$2" "$3"
    ;;
  stop)
    [ $# -eq 2 ] || die "usage: cups_daemon.sh stop DIR"
    stop "$2"
    ;;
  *)
    die "usage: cups_daemon.sh start DIR PORT | stop DIR"
    ;;
esac

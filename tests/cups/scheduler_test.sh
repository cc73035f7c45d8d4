#!/bin/bash
# Prints through the real filter under a private cupsd, and once through
# cupsfilter:
#   1. a job with options reaches the stand-in module, whose PJL job holds
#      the bytes pstops produced, and whose trace shows the job parameters;
#   2. with the module reporting itself absent, the output is exactly what
#      pstops produced (pass-through);
#   3. a job canceled while the module is busy ends canceled, and the filter
#      and the module are gone soon after (no hang, no SIGPIPE death);
#   4. cupsfilter with the example PPD runs the filter and the module.
# The reference for "what pstops produced" is a second queue with the same
# PPD options whose last filter only copies its input.
#
# Usage: scheduler_test.sh FILTER STANDIN_BUILD_DIR MODULE_DIR PPD SAMPLE
# FILTER looks for its modules in MODULE_DIR, a fixed directory outside the
# build tree that the lp user can reach; the test creates and removes it.
# Exit status 77 (skipped) where cupsd cannot run as root.
set -u

filter_bin=$1 standin_dir=$2 module_dir=${3%/} ppd=$4 sample=$5
here=$(cd "$(dirname "$0")" && pwd)
skip=77
failures=0

say() { printf 'scheduler_test: %s\n' "$*"; }
fail() { say "FAIL: $*"; failures=$((failures + 1)); }

# 'skip_or_fail()' - A missing prerequisite skips, except in CI, where
# make check has installed it.
skip_or_fail() {
  if [ -n "${CI:-}" ]; then say "FAIL: $*"; exit 1; fi
  say "SKIP: $*"; exit $skip
}

if [ "$(id -u)" != 0 ]; then
  say "SKIP: needs root: cupsd only runs filters as the lp user when started as root"
  exit $skip
fi
for tool in cupsd lpadmin lp cancel lpstat ipptool cupsfilter cups-config runuser; do
  command -v "$tool" >/dev/null 2>&1 || skip_or_fail "$tool is not installed (scripts/install-deps check)"
done
sys_serverbin=$(cups-config --serverbin)
[ -x "$sys_serverbin/filter/pstops" ] || skip_or_fail "pstops is not installed (cups-core-drivers)"
[ -x "$sys_serverbin/daemon/cups-exec" ] || skip_or_fail "cups-exec is not installed (cups-daemon)"
getent passwd lp >/dev/null || skip_or_fail "there is no lp user"

work=$(mktemp -d "${TMPDIR:-/tmp}/tovefilt-cupsd.XXXXXX") || exit 1
chmod 0755 "$work"
module_root=$(dirname "$module_dir")
cupsd_pid=

# 'our_pids()' - Processes running our filter copy or the stand-in module.
our_pids() {
  find /proc -mindepth 2 -maxdepth 2 -name exe \
       \( -lname "$work/bin/filter/*" -o -lname "$module_dir/*" \) 2>/dev/null \
    | sed 's|^/proc/\([0-9]*\)/exe$|\1|'
}

# 'kill_filters()' - Kill what cupsd started: each filter leads its own
# process group, which holds its module too.
kill_filters() {
  local p
  if [ -n "$cupsd_pid" ]; then
    for p in $(ps -o pid= --ppid "$cupsd_pid" 2>/dev/null); do
      kill -KILL -- "-$p" 2>/dev/null || kill -KILL "$p" 2>/dev/null
    done
  fi
  for p in $(our_pids); do kill -KILL "$p" 2>/dev/null; done
}

# 'stop_cupsd()' - End the scheduler and everything it left running.
stop_cupsd() {
  [ -n "$cupsd_pid" ] || return 0
  kill_filters
  kill -TERM "$cupsd_pid" 2>/dev/null
  local i
  for i in $(seq 100); do
    kill -0 "$cupsd_pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -KILL "$cupsd_pid" 2>/dev/null
  wait "$cupsd_pid" 2>/dev/null
  cupsd_pid=
}

cleanup() {
  stop_cupsd
  kill_filters
  rm -rf "$work" "$module_root"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# The module directory and every directory above it must be reachable by
# lp; a clean one each run, root-owned and writable by nobody else.
rm -rf "$module_root"
install -d -m 0755 -o root -g root "$module_root" "$module_dir" || exit 1
for m in yxpkmodulelumor yxpkbidir; do
  install -m 0755 -o root -g root "$standin_dir/$m" "$module_dir/$m" || exit 1
done
runuser -u lp -- test -x "$module_dir/yxpkmodulelumor" \
  || { say "FAIL: the lp user cannot run $module_dir/yxpkmodulelumor"; exit 1; }

# Private ServerBin: the system's filters and backends by link, our filter
# and the copying filter as root-owned files that nobody else may write.
mkdir -p "$work"/{etc,bin/filter,spool/tmp,cache,state,log,out,trace}
chown lp "$work/trace"
for d in backend cgi-bin daemon driver monitor notifier; do
  ln -s "$sys_serverbin/$d" "$work/bin/$d"
done
for f in "$sys_serverbin"/filter/*; do ln -s "$f" "$work/bin/filter/"; done
install -m 0755 -o root -g root "$filter_bin" "$work/bin/filter/tovefilt" || exit 1
printf '#!/bin/sh\n# Copies the job data unchanged.\nif [ $# -ge 6 ]; then exec cat -- "$6"; fi\nexec cat\n' \
  > "$work/copy"
install -m 0755 -o root -g root "$work/copy" "$work/bin/filter/tovecopy"
sed 's/ tovefilt"$/ tovecopy"/' "$ppd" > "$work/copy.ppd"
grep -q 'tovecopy"$' "$work/copy.ppd" || { say "FAIL: no *cupsFilter line for tovefilt in $ppd"; exit 1; }

# 'free_port()' - A loopback port nobody listens on.
free_port() {
  local p
  while :; do
    p=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
}
port=$(free_port)
export CUPS_SERVER=127.0.0.1:$port
server=127.0.0.1:$port

# 'start_cupsd()' - Write the configuration with the given stand-in
# environment lines and start the scheduler; wait until it answers.
start_cupsd() {
  local trace=$1 faults=$2
  sed -e "s|@WORK@|$work|g" -e "s|@PORT@|$port|g" "$here/cupsd.conf.in" > "$work/etc/cupsd.conf"
  sed -e "s|@WORK@|$work|g" "$here/cups-files.conf.in" > "$work/etc/cups-files.conf"
  echo "SetEnv TOVEFILT_STANDIN_TRACE $trace" >> "$work/etc/cups-files.conf"
  [ -n "$faults" ] && echo "SetEnv TOVEFILT_STANDIN_FAULTS $faults" >> "$work/etc/cups-files.conf"
  cupsd -t -c "$work/etc/cupsd.conf" -s "$work/etc/cups-files.conf" > "$work/log/cupsd-t.log" 2>&1 \
    || { cat "$work/log/cupsd-t.log"; say "FAIL: cupsd -t rejects the configuration"; exit 1; }
  (trap - INT QUIT; exec cupsd -f -c "$work/etc/cupsd.conf" -s "$work/etc/cups-files.conf") \
    >> "$work/log/cupsd.out" 2>&1 &
  cupsd_pid=$!
  local i
  for i in $(seq 200); do
    lpstat -h "$server" -r 2>/dev/null | grep -q 'is running' && return 0
    kill -0 "$cupsd_pid" 2>/dev/null || break
    sleep 0.05
  done
  cat "$work/log/cupsd.out" "$work/log/error_log" 2>/dev/null | tail -20
  say "FAIL: cupsd did not come up on $server"
  exit 1
}

# 'job_state()' - The job's state keyword, read exactly over IPP.
job_state() {
  ipptool -c -d "job_id=$1" "ipp://$server/" "$here/job-state.test" 2>/dev/null | tail -1
}

# 'wait_job()' - Wait, at most 30 s, until the job has ended or stopped;
# print its state.
wait_job() {
  local id=$1 s= end=$((SECONDS + 30))
  while [ "$SECONDS" -lt "$end" ]; do
    s=$(job_state "$id")
    case "$s" in completed|canceled|aborted|processing-stopped) break ;; esac
    sleep 0.1
  done
  echo "$s"
}

# 'submit()' - Print and print the job id.
submit() {
  lp -h "$server" "$@" | sed -n 's/^request id is [^ ]*-\([0-9]*\) .*/\1/p'
}

# 'show_diff()' - Say where two outputs part, and show both beginnings.
show_diff() {
  cmp "$1" "$2"
  say "want: $(head -c 400 "$1" | cat -v)"
  say "got:  $(head -c 400 "$2" | cat -v)"
}

# 'dump_log()' - Show the scheduler's lines for one job when a check fails.
dump_log() {
  grep -E "\[Job $1\]" "$work/log/error_log" | grep -vE 'envp|argv|STATE:|ATTR:' | tail -25
}

title='Quarterly report'
esc=$'\033'
job_opts=(-t "$title" -n 2 -o Duplex=DuplexNoTumble -o QZBindEdgeShift=1,5)

# --- run 1: normal module, and the reference queue -------------------------
start_cupsd "$work/trace/module.log" ""
lpadmin -h "$server" -p tove -v "file://$work/out/tove" -P "$ppd" -E \
  -o printer-error-policy=abort-job 2>/dev/null || { say "FAIL: lpadmin tove"; exit 1; }
lpadmin -h "$server" -p tovecopy -v "file://$work/out/copy" -P "$work/copy.ppd" -E \
  -o printer-error-policy=abort-job 2>/dev/null || { say "FAIL: lpadmin tovecopy"; exit 1; }

ref_id=$(submit -d tovecopy "${job_opts[@]}" "$sample")
[ "$(wait_job "$ref_id")" = completed ] || { dump_log "$ref_id"; say "FAIL: the reference job did not complete"; exit 1; }
cp "$work/out/copy" "$work/pstops.out"
head -c 2 "$work/pstops.out" | grep -q '^%!' || { say "FAIL: the reference output is not PostScript"; exit 1; }

id=$(submit -d tove "${job_opts[@]}" "$sample")
state=$(wait_job "$id")
before=$failures
if [ "$state" != completed ]; then
  dump_log "$id"; fail "module job: state '$state', want completed"
else
  {
    printf '%s%%-12345X@PJL\r\n@PJL JOB NAME="%s"\r\n@PJL SET COPIES=2\r\n' "$esc" "$title"
    printf '@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=LONGEDGE\r\n@PJL SET PAPER=A4\r\n'
    printf '@PJL ENTER LANGUAGE=POSTSCRIPT\r\n'
    cat "$work/pstops.out"
    printf '%s%%-12345X@PJL EOJ NAME="%s"\r\n%s%%-12345X' "$esc" "$title" "$esc"
  } > "$work/module.want"
  cmp -s "$work/module.want" "$work/out/tove" \
    || { show_diff "$work/module.want" "$work/out/tove"; fail "module job: the output is not the PJL job around pstops' output"; }
  params=$(sed -n 's/^cmd 3 len [0-9]* payload text://p' "$work/trace/module.log")
  for want in "QZUsrName=root;" "QZJobUser=root;" "QZDocName=$title;" "QZCopies=2;" \
              "Duplex=DuplexNoTumble;" "QZBindEdgeShift=1.5;" "QZTblFormat=2;"; do
    case "$params" in *"$want"*) ;; *) fail "module job: parameter string lacks '$want': $params" ;; esac
  done
  tail -2 "$work/trace/module.log" | tr '\n' ' ' | grep -q '^cmd 240 len 0 payload - exit 0 $' \
    || fail "module job: the module did not end with command 240: $(tail -2 "$work/trace/module.log")"
fi
[ "$failures" = "$before" ] && say "ok: module job"
stop_cupsd

# --- run 2: the module reports itself absent -------------------------------
start_cupsd "$work/trace/absent.log" "probe:exit=44"
id=$(submit -d tove "${job_opts[@]}" "$sample")
state=$(wait_job "$id")
if [ "$state" != completed ]; then
  dump_log "$id"; fail "pass-through job: state '$state', want completed"
elif ! cmp -s "$work/pstops.out" "$work/out/tove"; then
  show_diff "$work/pstops.out" "$work/out/tove"; fail "pass-through job: the output differs from pstops' output"
elif grep -q '^start' "$work/trace/absent.log" || ! grep -q '^probe' "$work/trace/absent.log"; then
  fail "pass-through job: the module was not just probed: $(cat "$work/trace/absent.log")"
else
  say "ok: pass-through job"
fi
stop_cupsd

# --- run 3: cancel while the module is busy --------------------------------
# The module takes 3 s to answer command 1; the filter is blocked reading
# that answer when the cancel's SIGTERM reaches the process group.
start_cupsd "$work/trace/cancel.log" "1:sleep=3000"
id=$(submit -d tove "${job_opts[@]}" "$sample")
for i in $(seq 200); do
  grep -q '^cmd 1 ' "$work/trace/cancel.log" 2>/dev/null && break
  sleep 0.05
done
if ! grep -q '^cmd 1 ' "$work/trace/cancel.log" 2>/dev/null; then
  dump_log "$id"; fail "cancel job: the module never received command 1"
else
  cancel -h "$server" "$id"
  # The module answers 3 s after command 1, then gets 240 and ends; the
  # job must be canceled and both processes gone well within 10 s.
  end=$((SECONDS + 10))
  while :; do
    state=$(job_state "$id")
    left=$(our_pids)
    [ "$state" = canceled ] && [ -z "$left" ] && break
    [ "$SECONDS" -lt "$end" ] || break
    sleep 0.1
  done
  if [ "$state" != canceled ]; then
    dump_log "$id"; fail "cancel job: state '$state' 10 s after the cancel, want canceled"
  elif [ -n "$left" ]; then
    ps -o pid,pgid,stat,args -p "$(echo $left | tr ' ' ,)"; fail "cancel job: filter or module still running 10 s after the cancel"
  elif grep -E "\[Job $id\].*tovefilt.*crashed on signal" "$work/log/error_log"; then
    fail "cancel job: the filter died of a signal"
  elif grep -qE '^cmd (7|2) ' "$work/trace/cancel.log"; then
    fail "cancel job: the filter went on sending the job after the cancel: $(cat "$work/trace/cancel.log")"
  elif ! grep -q '^cmd 240 ' "$work/trace/cancel.log"; then
    fail "cancel job: the module never received command 240: $(cat "$work/trace/cancel.log")"
  else
    say "ok: canceled job"
  fi
fi
stop_cupsd

# --- cupsfilter: the filter runs first, on the file itself -----------------
printf 'ServerRoot %s/etc\nServerBin %s/bin\nDataDir %s\n' "$work" "$work" \
  "$(cups-config --datadir)" > "$work/etc/cupsfilter.conf"
if ! cupsfilter -c "$work/etc/cupsfilter.conf" -p "$ppd" -m printer/tove -e \
       -i application/vnd.cups-postscript -o Duplex=DuplexTumble "$sample" \
       > "$work/out/cupsfilter" 2> "$work/log/cupsfilter.err"; then
  tail -20 "$work/log/cupsfilter.err"; fail "cupsfilter failed"
else
  {
    printf '%s%%-12345X@PJL\r\n@PJL JOB NAME="%s"\r\n@PJL SET COPIES=1\r\n' "$esc" "${sample##*/}"
    printf '@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=SHORTEDGE\r\n@PJL SET PAPER=A4\r\n'
    printf '@PJL ENTER LANGUAGE=POSTSCRIPT\r\n'
    cat "$sample"
    printf '%s%%-12345X@PJL EOJ NAME="%s"\r\n%s%%-12345X' "$esc" "${sample##*/}" "$esc"
  } > "$work/cupsfilter.want"
  if cmp -s "$work/cupsfilter.want" "$work/out/cupsfilter"; then
    say "ok: cupsfilter"
  else
    show_diff "$work/cupsfilter.want" "$work/out/cupsfilter"; tail -20 "$work/log/cupsfilter.err"
    fail "cupsfilter: the output is not the PJL job around the sample"
  fi
fi

[ "$failures" = 0 ] || { say "$failures check(s) failed; logs were in $work/log"; exit 1; }
say "all checks passed"
exit 0

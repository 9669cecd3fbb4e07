# Sourced by the dashboard test launchers: waiting for the server they start
# and running the page test against it.

# wait_for_url LOG PREFIX PID TRIES: sets `url` from the line "PREFIX URL"
# that the server with PID writes to LOG, polling every 0.1 s; fails (with
# the log) when the server ends first or TRIES polls pass.
wait_for_url() {
  local log=$1 prefix=$2 pid=$3 tries=$4
  url=
  for _ in $(seq "$tries"); do
    url=$(sed -n "s|^$prefix||p" "$log")
    [ -n "$url" ] && return 0
    if ! kill -0 "$pid" 2>/dev/null; then
      cat "$log" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "the server did not start: no \"$prefix\" in $log" >&2
  cat "$log" >&2
  return 1
}

# run_page_test LOG ARGS...: dashboard_test.py with ARGS; on failure the
# server's LOG follows its output. Returns the test's status.
run_page_test() {
  local log=$1
  shift
  local status=0
  "$python" "$src/tests/browser/dashboard_test.py" "$@" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "--- $(basename "$log")" >&2
    cat "$log" >&2
  fi
  return "$status"
}

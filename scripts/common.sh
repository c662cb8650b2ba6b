# Shared by scripts/test and scripts/run.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc)}"
# The compiler cache keys on paths below the checkout, so another clone of the
# same sources (CI's, a second work tree) reuses what this one compiled.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-true}"

# Runs scripts/setup when a tool or package the build needs is missing; the
# arguments name further packages a script needs (scripts/fuzz: clang and its
# libFuzzer runtime), so that the other scripts do not require them.
ensure_setup() {
  local missing=0
  for pkg in "$@"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || missing=1
  done
  for tool in cmake ninja g++ ld.lld pkg-config xvfb-run openbox xdotool scrot; do
    command -v "$tool" >/dev/null 2>&1 || missing=1
  done
  for pkg in qt6-base-dev libcurl4-openssl-dev libssl-dev liblzo2-dev libgtest-dev \
             libgmock-dev libbenchmark-dev fonts-dejavu-core xdg-utils \
             libqcustomplot-dev qt6-webengine-dev \
             libreoffice-calc libreoffice-dev poppler-utils; do
    dpkg -s "$pkg" >/dev/null 2>&1 || missing=1
  done
  if [ "$missing" -ne 0 ]; then
    echo "== installing packages (scripts/setup)"
    "$ROOT/scripts/setup"
  fi
}

# configure_build DIR [cmake args...]
configure_build() {
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$JOBS"
}

# write_program_config DIR HTTP_PORT FEED_PORT: the program folder's
# Config/Vortanex.ini, every host the loopback test broker.
write_program_config() {
  mkdir -p "$1/Config"
  cat > "$1/Config/Vortanex.ini" <<INI
Trade_Host 127.0.0.1
Trade_Port $2
Watch_Host 127.0.0.1
Security_Host 127.0.0.1
Feeds_Host 127.0.0.1
Feed_Port $3
Market_Data_Host 127.0.0.1
Feeds_Type 3
Redirect_Url http://127.0.0.1:$2
Log_Level 3
INI
}

# start_test_broker PROGRAM OUTPUT [broker args...]: starts the broker
# (BROKER_PID) and waits until it listens; exports VORTANEX_CONNECT_TO, the
# redirect map it prints.
start_test_broker() {
  local program="$1" out="$2"; shift 2
  "$program" "$@" > "$out" 2>&1 &
  BROKER_PID=$!
  local connect=""
  for _ in $(seq 1 600); do
    connect="$(sed -n 's/^VORTANEX_CONNECT_TO=//p' "$out" | head -n 1)"
    [ -n "$connect" ] && break
    kill -0 "$BROKER_PID" 2>/dev/null || { cat "$out" >&2; return 1; }
    sleep 0.1
  done
  [ -n "$connect" ] || { echo "the test broker did not start" >&2; cat "$out" >&2; kill "$BROKER_PID" 2>/dev/null; return 1; }
  export VORTANEX_CONNECT_TO="$connect"
}

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
  for tool in cmake ninja g++ pkg-config xvfb-run openbox xdotool scrot; do
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

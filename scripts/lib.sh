# Shared by scripts/test, scripts/demo and scripts/screenshot: the Debian
# packages the project needs, installed when missing, and the build.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build"

ERP_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
  libsqlite3-dev sqlite3 libzip-dev
  postgresql
  python3 python3-openpyxl
  fonts-noto-cjk xvfb xauth
  fonts-wqy-microhei poppler-utils
  qt6-translations-l10n
)

# The named packages, or ERP_PACKAGES, installed when missing.
ensure_packages() {
  local wanted=("$@")
  [ $# -gt 0 ] || wanted=("${ERP_PACKAGES[@]}")
  local missing=()
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# node and npm for the tsql test's parser: Debian's when the machine has none
# (a machine may bring its own node, which Debian's npm would conflict with).
ensure_node() {
  command -v node >/dev/null && command -v npm >/dev/null && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends nodejs npm
}

# node-sql-parser, at the version tests/tsql/package-lock.json pins, in
# $BUILD/tsql/parser (the tsql test's independent T-SQL parser).
ensure_tsql_parser() {
  ensure_node
  local dir="$BUILD/tsql/parser"
  if ! cmp -s "$ROOT/tests/tsql/package-lock.json" "$dir/package-lock.json" ||
     [ ! -f "$dir/node_modules/node-sql-parser/package.json" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    cp "$ROOT/tests/tsql/package.json" "$ROOT/tests/tsql/package-lock.json" "$dir/"
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  fi
}

configure_and_build() {
  local werror=OFF
  [ "${CI:-}" = "true" ] && werror=ON
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DERP_WERROR=$werror >/dev/null
  cmake --build "$BUILD" -j"$(nproc)" "$@"
}

# The sanitizer build: gcc's AddressSanitizer and UndefinedBehaviorSanitizer
# in build-sanitize/, so that it never mixes with the ordinary build. Any
# undefined behaviour stops the program instead of printing and going on.
SANITIZE_FLAGS="-fsanitize=address,undefined -fsanitize=float-cast-overflow -fno-omit-frame-pointer -fno-sanitize-recover=undefined"

use_sanitize_build() {
  BUILD="$ROOT/build-sanitize"
  # Leaks are checked at every program's exit. What Qt and the system
  # libraries keep for the process's life, and only that, is suppressed in
  # tests/support/lsan.supp; options given in LSAN_OPTIONS come after it.
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
  export LSAN_OPTIONS="suppressions=$ROOT/tests/support/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
}

configure_and_build_sanitize() {
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" \
    -DCMAKE_CXX_FLAGS="$SANITIZE_FLAGS" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
  cmake --build "$BUILD" -j"${ERP_JOBS:-$(nproc)}" "$@"
}

#!/usr/bin/env bash
# Builds the Debian package of marrowvale with CPack, from build/release when
# scripts/test.sh has made it (CPack builds everything of its folder first),
# else from build/package, configured without tests and benchmarks:
#   scripts/package.sh          writes BUILD/package/marrowvale_VERSION-1_ARCH.deb
#   scripts/package.sh --check  then checks the manual page (man --warnings)
#                               and the package (lintian; errors fail), installs
#                               it with apt-get, runs the installed program,
#                               removes it and checks that nothing is left
set -euo pipefail
cd "$(dirname "$0")/.."

check=false
if [ "${1:-}" = "--check" ]; then check=true; fi

deps=(dpkg-dev) # dpkg-shlibdeps finds the package's dependencies
if $check; then deps+=(lintian man-db groff-base); fi
bash scripts/install-deps.sh "${deps[@]}"

build=build/release
if [ ! -f "$build/CMakeCache.txt" ]; then
  build=build/package
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMARROWVALE_WERROR=ON \
        -DMARROWVALE_BUILD_TESTS=OFF -DMARROWVALE_BUILD_BENCH=OFF
fi
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target marrowvale make_example_wav
rm -f "$build"/package/marrowvale_*.deb
cpack --config "$build/CPackConfig.cmake" -B "$PWD/$build/package" >/dev/null
debs=("$build"/package/marrowvale_*.deb)
deb=$PWD/${debs[0]}
echo "package: $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
dpkg-deb --contents "$deb"
if ! $check; then exit 0; fi

fail() {
  echo "package check: $*" >&2
  exit 1
}
run_as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
work=$(mktemp -d)
installed=false
cleanup() {
  rm -rf "$work"
  # A failed check leaves no package behind either.
  if $installed; then run_as_root apt-get purge -y -qq marrowvale >/dev/null || true; fi
}
trap cleanup EXIT

echo "== cmake --install"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
(cd "$work/prefix" && find . -type f | LC_ALL=C sort) >"$work/install-list"
printf '%s\n' ./bin/marrowvale ./share/bash-completion/completions/marrowvale \
  ./share/man/man1/marrowvale.1 | diff - "$work/install-list" || fail "cmake --install installs other files"

echo "== dependencies"
depends=$(dpkg-deb --field "$deb" Depends)
for library in libboost-program-options libboost-filesystem libfftw3-double3 libstdc++6; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

echo "== manual page"
warnings=$(MANWIDTH=80 man --warnings -l docs/man/marrowvale.1 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings: $warnings"

echo "== lintian"
lintian --fail-on error --display-info "$deb"

echo "== install"
export DEBIAN_FRONTEND=noninteractive
installed=true
run_as_root apt-get install -y -q -o DPkg::Lock::Timeout=600 "$deb"
dpkg -L marrowvale >"$work/files"
program=/usr/bin/marrowvale
version=$(dpkg-deb --field "$deb" Version)
[ "$("$program" --version)" = "marrowvale ${version%-*}" ] || fail "--version printed something else"
[ "$(man -w marrowvale)" = /usr/share/man/man1/marrowvale.1.gz ] || fail "man -w marrowvale"
man marrowvale 2>&1 | grep -q '^EXIT STATUS' || fail "man marrowvale shows no page"
bash -c 'source /usr/share/bash-completion/completions/marrowvale && complete -p marrowvale' >/dev/null ||
  fail "the completion does not load"

# One conversion by the installed program, compared with the build's own.
"$build/make_example_wav" "$work/take.wav" 1
"$program" -q "$work/take.wav" -o "$work/installed" -s 48000 -b 24 -t 1 -d 1
"$build/marrowvale" -q "$work/take.wav" -o "$work/built" -s 48000 -b 24 -t 1 -d 1
cmp "$work/installed/take.wav" "$work/built/take.wav" || fail "the installed program converts differently"

echo "== remove"
run_as_root apt-get purge -y -q -o DPkg::Lock::Timeout=600 marrowvale
installed=false
if dpkg-query -W -f='${Status}\n' marrowvale 2>/dev/null | grep -q installed; then
  fail "still installed after removal"
fi
while read -r path; do
  if [ -d "$path" ]; then
    [ -n "$(ls -A "$path")" ] || fail "empty folder left behind: $path"
  elif [ -e "$path" ] || [ -L "$path" ]; then
    fail "file left behind: $path"
  fi
done <"$work/files"
echo "package check: installed, ran, converted and removed $(basename "$deb")"

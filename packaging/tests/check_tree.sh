#!/usr/bin/env bash
# Checks an installed tree as a user meets it, away from the build tree:
#   check_tree.sh installed   installs the build tree into a scratch prefix and moves it;
#   check_tree.sh package     builds the Debian package and unpacks it with dpkg-deb -x.
# Then: versioned sonames, $ORIGIN-relative RUNPATHs that resolve inside the tree, the host
# running the demo from its own lib/mex, the man page, and the example application built
# with pkg-config and with find_package, each giving the build tree's output.
# Takes BUILD_DIR, SCRATCH, VERSION, CXX, CXXFLAGS, EXAMPLE, EXAMPLE_PROGRAM, DEMO, SPEECH,
# HOST_PROGRAM and CONSUMER from the environment. The demo runs as make demo runs it: beside
# demo/speech.wav, with the examples' folder (mfcc.m) on the search path.
set -euo pipefail
mode=$1
unset LD_LIBRARY_PATH PKG_CONFIG_PATH CMAKE_PREFIX_PATH
major=${VERSION%%.*}

fail() {
  echo "FAIL ($mode): $*" >&2
  exit 1
}

rm -rf "$SCRATCH"
mkdir -p "$SCRATCH"
SCRATCH=$(realpath "$SCRATCH")
cd "$SCRATCH"
mkdir demo
cp "$SPEECH" demo/speech.wav
examples=$(dirname "$DEMO")

# The build tree's own runs, which the installed tree must reproduce.
"$EXAMPLE_PROGRAM" >expected-example.txt
"$STREAM_EXAMPLE_PROGRAM" "$SPEECH" >expected-stream.txt 2>/dev/null
"$HOST_PROGRAM" --figures expected-figures --path "$examples" -e "$(cat "$DEMO")" >expected-demo.txt

check_libraries() {
  local prefix=$1 lib real soname
  for lib in mexrt zeta; do
    [ "$(readlink "$prefix/lib/lib$lib.so")" = "lib$lib.so.$major" ] ||
      fail "lib$lib.so does not link to lib$lib.so.$major"
    [ "$(readlink "$prefix/lib/lib$lib.so.$major")" = "lib$lib.so.$VERSION" ] ||
      fail "lib$lib.so.$major does not link to lib$lib.so.$VERSION"
    real=$prefix/lib/lib$lib.so.$VERSION
    soname=$(readelf -d "$real" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    [ "$soname" = "lib$lib.so.$major" ] || fail "lib$lib.so.$VERSION has soname '$soname'"
  done
}

# Every ELF file finds its libraries through $ORIGIN only, and the project's own inside the
# tree.
check_runpaths() {
  local prefix=$1 f runpath entry resolved
  while IFS= read -r f; do
    file -b "$f" | grep -q '^ELF' || continue
    runpath=$(readelf -d "$f" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    [ -n "$runpath" ] || fail "${f#"$prefix"/} has no RUNPATH"
    IFS=: read -ra entries <<<"$runpath"
    for entry in "${entries[@]}"; do
      # shellcheck disable=SC2016  # the literal $ORIGIN
      [[ $entry == '$ORIGIN'* ]] || fail "${f#"$prefix"/} has RUNPATH entry '$entry'"
    done
    ! ldd "$f" | grep 'not found' || fail "${f#"$prefix"/} misses a library"
    while IFS= read -r resolved; do
      [[ $(realpath "$resolved") == "$prefix"/* ]] ||
        fail "${f#"$prefix"/} loads $resolved from outside the tree"
    done < <(ldd "$f" | awk '$1 ~ /^lib(mexrt|zeta)\.so/ {print $3}')
  done < <(find "$prefix" -type f)
}

check_host() {
  local prefix=$1
  "$prefix/bin/mexhost" --info bandsetup | grep -qx "Module: $prefix/lib/mex/bandsetup.mexa64" ||
    fail "mexhost does not find its modules in $prefix/lib/mex"
  rm -f demo/features.mat
  "$prefix/bin/mexhost" --figures figures --path "$examples" -e "$(cat "$DEMO")" >demo.txt ||
    fail "the demo fails through mexhost -e"
  diff -u expected-demo.txt demo.txt || fail "the demo prints otherwise than in the build tree"
  [ -s figures/figure1.png ] && [ -s figures/figure2.png ] || fail "the demo wrote no figures"
  [ -s demo/features.mat ] || fail "the demo saved no features"
  [ "$("$prefix/bin/mexhost" --version)" = "mexhost $VERSION" ] || fail "mexhost --version"
}

check_man_page() {
  local page=$1/share/man/man1/mexhost.1.gz
  [ -f "$page" ] || fail "no man page mexhost.1.gz"
  zcat "$page" | grep -q "^\.TH MEXHOST \"1\" .*\"mexhost $VERSION\"" ||
    fail "the man page's title line does not carry the version"
  for word in figures info path 'Exit status' EXAMPLES; do
    zcat "$page" | grep -q -- "$word" || fail "the man page does not mention '$word'"
  done
}

# The Python package beside the libraries, its modules found in the tree, and its program.
check_python() {
  local prefix=$1
  [ -d "$prefix/lib/python3/dist-packages/melceps" ] || return 0  # a sanitizer build has none
  PYTHONPATH=$prefix/lib/python3/dist-packages /usr/bin/python3 -c \
    'import melceps, numpy, sys; sys.exit(0 if melceps.db(100.0) == 40 and melceps.mfcc(numpy.ones(1600) * 100, 16000).shape == (8, 13) else 1)' ||
    fail "the Python package does not work in the tree"
  "$prefix/bin/melceps-extract" --version | grep -qx "melceps-extract $PYTHON_VERSION" ||
    fail "melceps-extract --version"
  [ -f "$prefix/share/man/man1/melceps-extract.1.gz" ] || fail "no man page melceps-extract.1.gz"
}

# The example application, built with pkg-config and run with the library found through
# the RUNPATH that pkg-config's libdir gives.
check_pkg_config() {
  local prefix=$1 flags libdir
  export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
  [ "$(pkg-config --modversion zeta)" = "$VERSION" ] || fail "pkg-config --modversion zeta"
  flags=$(pkg-config --cflags --libs zeta)
  libdir=$(pkg-config --variable=libdir zeta)
  [ "$(realpath "$libdir")" = "$prefix/lib" ] || fail "zeta.pc gives libdir $libdir"
  # shellcheck disable=SC2086  # flags are words
  "$CXX" $CXXFLAGS -o app-pkg-config "$EXAMPLE" $flags "-Wl,-rpath,$libdir" ||
    fail "the example does not build with pkg-config"
  ./app-pkg-config >example-pkg-config.txt || fail "the pkg-config build fails"
  diff -u expected-example.txt example-pkg-config.txt || fail "the pkg-config build prints otherwise"
  # The front end: the streaming example against libmelceps, its modules found beside it.
  [ "$(pkg-config --modversion melceps)" = "$VERSION" ] || fail "pkg-config --modversion melceps"
  flags=$(pkg-config --cflags --libs melceps sndfile)
  # shellcheck disable=SC2086  # flags are words
  "$CXX" $CXXFLAGS -std=c++20 -o stream-pkg-config "$STREAM_EXAMPLE" $flags "-Wl,-rpath,$libdir" ||
    fail "the streaming example does not build with pkg-config"
  ./stream-pkg-config "$SPEECH" >stream-pkg-config.txt 2>/dev/null ||
    fail "the streaming example fails in the tree"
  diff -q expected-stream.txt stream-pkg-config.txt >/dev/null ||
    fail "the streaming example prints otherwise in the tree"
  unset PKG_CONFIG_PATH
}

# The example application, built with find_package(melceps) and melceps::zeta.
check_find_package() {
  local prefix=$1 found
  cmake -S "$CONSUMER" -B consumer -DCMAKE_PREFIX_PATH="$prefix" -DEXAMPLE="$EXAMPLE" \
    -DSTREAM_EXAMPLE="$STREAM_EXAMPLE" \
    -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_CXX_FLAGS="$CXXFLAGS" >consumer.log ||
    fail "find_package(melceps) fails: $(cat consumer.log)"
  found=$(sed -n 's/^melceps_DIR:PATH=//p' consumer/CMakeCache.txt)
  [ "$(realpath "$found")" = "$prefix/lib/cmake/melceps" ] || fail "find_package found $found"
  cmake --build consumer >>consumer.log || fail "the find_package build fails: $(cat consumer.log)"
  consumer/zeta_example >example-find-package.txt || fail "the find_package build fails to run"
  diff -u expected-example.txt example-find-package.txt ||
    fail "the find_package build prints otherwise"
  consumer/stream_features "$SPEECH" >stream-find-package.txt 2>/dev/null ||
    fail "the streaming example built with find_package fails"
  diff -q expected-stream.txt stream-find-package.txt >/dev/null ||
    fail "the streaming example built with find_package prints otherwise"
}

check_tree() {
  check_libraries "$1"
  check_runpaths "$1"
  check_host "$1"
  check_man_page "$1"
  check_python "$1"
  check_pkg_config "$1"
  check_find_package "$1"
}

case $mode in
  installed)
    cmake --install "$BUILD_DIR" --prefix "$SCRATCH/first" >install.log
    mv first moved
    ! grep -rl -e "$SCRATCH/first" -e "$BUILD_DIR" moved/lib/pkgconfig moved/lib/cmake ||
      fail "the pkg-config or CMake files above name an absolute path"
    check_tree "$SCRATCH/moved"
    ;;
  package)
    cpack --config "$BUILD_DIR/CPackConfig.cmake" -B cpack >cpack.log ||
      fail "cpack fails: $(cat cpack.log)"
    deb=cpack/melceps_${VERSION}_$(dpkg --print-architecture).deb
    [ -f "$deb" ] || fail "no $deb"
    depends=$(dpkg-deb -f "$deb" Depends)
    for dep in libc6 libstdc++6 libopenblas libmatio libfftw3 libcairo2 libedit2; do
      [[ $depends == *"$dep"* ]] || fail "Depends lacks $dep: $depends"
    done
    dpkg-deb -I "$deb" shlibs | grep -qx "libzeta $major melceps (>= $VERSION)" ||
      fail "the shlibs file does not name libzeta"
    ! dpkg-deb -c "$deb" | awk '{print $6}' | grep -v -e '^\./$' -e '^\./usr/' ||
      fail "the package installs outside /usr"
    dpkg-deb -x "$deb" root
    check_tree "$SCRATCH/root/usr"
    ;;
  *) fail "unknown mode" ;;
esac
echo "ok ($mode)"

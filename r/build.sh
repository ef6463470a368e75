#!/usr/bin/env bash
# Builds the R package's source tarball r/koru_<version>.tar.gz.
#
# The tarball carries every source it compiles: the package's own files from
# r/ and the engine's sources (core/, lp/, input/, measures/, output/,
# report/, the library and include/koru/) copied into its src/, with a
# Makevars that lists them. The engine is compiled with the flags of the CMake
# build that decide its numbers (no fused multiply-add, no fast-math) and, on
# x86-64, the simplex kernels once more for AVX2 and AVX-512 (the instruction
# set named in the kernels' file rather than by a compiler flag), so the package
# gives the console program's numbers bit for bit.
#
# The vignette (vignettes/koru.Rmd) is built where knitr and rmarkdown are
# installed (Debian: r-cran-knitr r-cran-rmarkdown pandoc); elsewhere it is
# shipped as text in inst/doc and the package does not name a vignette
# builder.
#
# Needs R with Rcpp (Debian: r-base-core r-cran-rcpp).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)

version=$(sed -n 's/^project(KORU VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "build.sh: no version in CMakeLists.txt" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage="$work/koru"
mkdir -p "$stage"
cp -R "$here/DESCRIPTION" "$here/NAMESPACE" "$here/LICENSE" "$here/.Rbuildignore" "$here/R" "$here/man" \
  "$here/tests" "$here/inst" "$here/src" "$here/configure" "$here/cleanup" "$stage/"
# r/DESCRIPTION has no version of its own: the engine's goes in after the title.
sed -i "/^Title: /a Version: $version" "$stage/DESCRIPTION"
cp "$root/examples/us_states_input.csv" "$stage/inst/extdata/"

# The engine's sources, in the folders the CMake build globs them from for the
# library (the console program's app/ stays out).
engine_dirs=$(sed -n '/^file(GLOB KORU_ENGINE_SOURCES/,/)/p' "$root/CMakeLists.txt" |
  grep -o '[A-Za-z0-9_]*/[*][.]cpp' | sed 's|/[*][.]cpp$||' | grep -vx app || true)
[ -n "$engine_dirs" ] || { echo "build.sh: CMakeLists.txt no longer globs the engine's sources" >&2; exit 1; }
sources=()
for dir in $engine_dirs; do
  mkdir -p "$stage/src/$dir"
  cp "$root/$dir"/*.h "$root/$dir"/*.cpp "$stage/src/$dir/" 2>/dev/null || true
  for file in "$root/$dir"/*.cpp; do
    [ -e "$file" ] && sources+=("$dir/$(basename "$file")")
  done
done
mkdir -p "$stage/src/include/koru"
cp "$root"/include/koru/*.h "$stage/src/include/koru/"

# src/Makevars.in: one rule per engine source, so the flags that decide the
# numbers apply to the engine alone; configure fills in the vector kernels
# for the processor family the package is installed on.
{
  echo "# Written by r/build.sh. configure turns it into Makevars."
  echo "CXX_STD = CXX17"
  echo "PKG_CPPFLAGS = -I. -Iinclude"
  echo "PKG_LIBS = -pthread"
  echo "# The engine's numbers must not depend on the compiler's choices: no fused"
  echo "# multiply-add, no fast-math; optimised as the CMake Release build, without"
  echo "# debugging information."
  echo "KORU_NUMBERS = -O3 -g0 -ffp-contract=off -fno-fast-math"
  echo "KORU_COMPILE = \$(CXX) \$(ALL_CPPFLAGS) \$(ALL_CXXFLAGS) \$(KORU_NUMBERS)"
  printf "OBJECTS = RcppExports.o koru_r.o"
  for source in "${sources[@]}"; do printf " \\\\\n  %s" "${source%.cpp}.o"; done
  printf " @KORU_KERNEL_OBJECTS@\n\n"
  echo "# The package's library first: the rules below must not become the default goal."
  printf "all: \$(SHLIB)\n\n"
  for source in "${sources[@]}"; do
    object="${source%.cpp}.o"
    extra=""
    [ "$source" = "lp/SimplexKernels.cpp" ] && extra=" @KORU_KERNEL_DEFINITION@"
    [ "$source" = "lib/Koru.cpp" ] && extra=" -DKORU_VERSION='\"$version\"'"
    printf "%s: %s\n\t\$(KORU_COMPILE)%s -c %s -o %s\n" "$object" "$source" "$extra" "$source" "$object"
  done
  # The instruction set of each kernel path is named inside the file
  # (KORU_KERNEL_TARGET_*), not by -mavx2 or -mavx512f, flags R counts as
  # non-portable.
  for path in avx2 avx512; do
    flag=-DKORU_KERNEL_TARGET_AVX2
    [ "$path" = avx512 ] && flag=-DKORU_KERNEL_TARGET_AVX512F
    printf "lp/SimplexKernelsBody_%s.o: lp/SimplexKernelsBody.cpp\n" "$path"
    printf "\t\$(KORU_COMPILE) -DKORU_KERNEL_PATH=%s %s -c lp/SimplexKernelsBody.cpp -o lp/SimplexKernelsBody_%s.o\n" \
      "$path" "$flag" "$path"
  done
} >"$stage/src/Makevars.in"

vignettes=--no-build-vignettes
if Rscript -e 'quit(status = !(requireNamespace("knitr", quietly = TRUE) && requireNamespace("rmarkdown", quietly = TRUE) && rmarkdown::pandoc_available()))' >/dev/null 2>&1; then
  cp -R "$here/vignettes" "$stage/"
  vignettes=
else
  mkdir -p "$stage/inst/doc"
  cp "$here/vignettes/koru.Rmd" "$stage/inst/doc/"
  sed -i -e '/^VignetteBuilder: /d' -e 's/, knitr, rmarkdown$//' "$stage/DESCRIPTION"
fi

Rscript -e "Rcpp::compileAttributes('$stage')" >/dev/null
(cd "$work" && MAKEFLAGS=${MAKEFLAGS:--j2} R CMD build $vignettes koru >build.log 2>&1) || { cat "$work/build.log" >&2; exit 1; }
mv "$work/koru_$version.tar.gz" "$here/"
echo "$here/koru_$version.tar.gz"

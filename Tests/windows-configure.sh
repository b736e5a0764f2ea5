#!/usr/bin/env bash
# Configures the Windows build as a Windows developer following the README
# would, with the MinGW toolchain standing in for MSVC (configure only, no
# compiler of the target runs): without GoogleTest the tests are off and the
# configure succeeds, asked for they stop it with a message; ISA-L is found by
# its MSVC names in a prepared folder, the static library first, and the DLL
# of its import library is copied beside the executables.
# Usage: windows-configure.sh <source folder> <JUCE modules> <fmt include folder> <work folder>
set -uo pipefail
src=$1 juce=$2 fmt=$3 work=$4
rm -rf "$work"
mkdir -p "$work"
fail() { echo "windows-configure: $*"; exit 1; }

prepare() { # folder, then the library files to put there (empty: configure only)
  local root=$1; shift
  mkdir -p "$root/include/isa-l" "$root/lib" "$root/bin"
  cp /usr/include/isa-l/*.h "$root/include/isa-l/"
  for f in "$@"; do : > "$root/$f"; done
}

configure() { # build folder, then extra arguments; output in <build folder>.log
  local dir=$1; shift
  cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
    -DJUCE_MODULES_DIR="$juce" -DFMT_INCLUDE_DIR="$fmt" -DTRIAGENT_GTEST_SOURCE_DIR="$work/no-googletest" "$@" >"$dir.log" 2>&1
}

cached() { # build folder, variable
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"
}

# Tests left at AUTO, GoogleTest nowhere: the configure succeeds without test programs.
prepare "$work/isal-both" lib/isa-l_static.lib lib/isa-l.lib bin/isa-l.dll
configure "$work/no-gtest" -DISAL_ROOT="$work/isal-both" || { cat "$work/no-gtest.log"; fail "configure without GoogleTest failed"; }
grep -q "Tests: off" "$work/no-gtest.log" || fail "tests not reported off"
grep -q "windows_tests" "$work/no-gtest/build.ninja" && fail "test programs in a build without GoogleTest"
grep -q "Triagent.exe" "$work/no-gtest/build.ninja" || fail "no Triagent.exe in the build"

# Both ISA-L libraries there: the static one is linked, no DLL is copied.
[ "$(cached "$work/no-gtest" ISAL_LIBRARY)" = "$work/isal-both/lib/isa-l_static.lib" ] ||
  fail "ISA-L found as $(cached "$work/no-gtest" ISAL_LIBRARY), not isa-l_static.lib"
grep -q "isa-l.dll" "$work/no-gtest/build.ninja" && fail "the DLL is copied although the static library is linked"

# Only the DLL's import library: linked, and isa-l.dll copied beside Triagent.exe.
prepare "$work/isal-dll" lib/isa-l.lib bin/isa-l.dll
configure "$work/dll" -DISAL_ROOT="$work/isal-dll" || { cat "$work/dll.log"; fail "configure with isa-l.lib failed"; }
[ "$(cached "$work/dll" ISAL_LIBRARY)" = "$work/isal-dll/lib/isa-l.lib" ] || fail "isa-l.lib not found"
[ "$(cached "$work/dll" ISAL_DLL)" = "$work/isal-dll/bin/isa-l.dll" ] || fail "isa-l.dll not found"
grep -q "copy_if_different $work/isal-dll/bin/isa-l.dll" "$work/dll/build.ninja" || fail "isa-l.dll is not copied beside the executable"

# Tests asked for, GoogleTest nowhere: the configure stops and says why.
if configure "$work/tests-on" -DTRIAGENT_TESTS=ON -DISAL_ROOT="$work/isal-both"; then
  fail "TRIAGENT_TESTS=ON configured without GoogleTest"
fi
grep -q "GoogleTest was not found" "$work/tests-on.log" || { cat "$work/tests-on.log"; fail "no message about GoogleTest"; }

echo "windows-configure: tests off without GoogleTest, isa-l_static.lib preferred, isa-l.dll copied with isa-l.lib, TRIAGENT_TESTS=ON stops"

#!/usr/bin/env bash
# The tarball's program runs where it is unpacked on a system that has nothing but the C and
# C++ runtimes. The test makes such a system: a root directory holding only the loader and the
# runtime libraries that the build's binary loads, copied from this machine, the unpacked
# tarball (under a directory whose name holds a blank) and the crawl files. There the build's
# own binary must fail to start, for want of ISA-L, and the unpacked one must print what the
# build's binary printed outside: standard output, standard error and status.
#   portable.sh TARBALL TAGSIFT FILES_DIR
set -uo pipefail
. "$(dirname "$0")/common.sh"
tarball=$(realpath "$1") tagsift=$(realpath "$2") files=$(realpath "$3")

# The root gets a /proc of its own, in namespaces that end with the program: the loader finds
# $ORIGIN through /proc/self/exe, as on any Linux.
if unshare --mount --pid --fork true 2>/dev/null; then jail=(unshare --mount --pid --fork)
elif unshare --user --map-root-user --mount --pid --fork true 2>/dev/null; then
    jail=(unshare --user --map-root-user --mount --pid --fork)
else skip "no mount and PID namespaces can be made here (they need root or user namespaces)"
fi
enter() {  # enter ROOT PROGRAM ARGUMENT...
    # shellcheck disable=SC2016
    "${jail[@]}" sh -c 'mount -t proc proc "$0/proc" && exec chroot "$0" "$@"' "$@"
}

root=$scratch/root
mkdir -p "$root/opt/unpacked here" "$root/work" "$root/build" "$root/proc"
tar -xzf "$tarball" -C "$root/opt/unpacked here" || fail "cannot unpack $tarball"
program=$(cd "$root" && echo "opt/unpacked here"/tagsift-*/bin/tagsift)
[ -x "$root/$program" ] || fail "no bin/tagsift in $tarball"
cp "$tagsift" "$root/build/tagsift"
# The loader and the libraries, at the paths where this system keeps them; ISA-L left out.
runtime=$(ldd "$tagsift" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }')
grep -q libisal <<<"$runtime" || fail "the build's binary does not load ISA-L from the system"
for lib in $(grep -v libisal <<<"$runtime"); do
    mkdir -p "$root$(dirname "$lib")" && cp -L "$lib" "$root$lib" || exit 1
done

if enter "$root" /build/tagsift --version >/dev/null 2>&1; then
    fail "ISA-L is found in the test's root without the tarball"
fi
cp -r "$files/warc" "$root/work/" || exit 1
cd "$root" || exit 1
rules=(--warc -tag a -out '$_file$ $_url$ $href$\n' -tag title -out '%t$_body$\n' -- work/warc/*.warc.gz)
"$tagsift" "${rules[@]}" >"$scratch/expected.out" 2>"$scratch/expected.err"
echo "status $?" >>"$scratch/expected.out"
# chroot starts the program in the top directory of the root, where the names above hold too.
enter "$root" "/$program" "${rules[@]}" >"$scratch/actual.out" 2>"$scratch/actual.err"
echo "status $?" >>"$scratch/actual.out"
ok=0
same "stdout and status of the unpacked program" "$scratch/expected.out" "$scratch/actual.out" || ok=1
same "stderr of the unpacked program" "$scratch/expected.err" "$scratch/actual.err" || ok=1
[ $ok -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $ok

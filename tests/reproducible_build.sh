#!/usr/bin/env bash
# Builds the i686 DLL and the release zip twice from one commit, in two clones at different paths, some
# seconds apart, with different time zones and umasks, and checks that both give the same bytes.
# Usage: tests/reproducible_build.sh [commit]   (default HEAD of this checkout; uncommitted changes are
# not part of the check). Exits 77 when this checkout is not a git repository.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
git -C "$root" rev-parse --git-dir >/dev/null 2>&1 || { echo "not a git checkout: $root"; exit 77; }
commit=$(git -C "$root" rev-parse --verify "${1:-HEAD}^{commit}")
start=$(date +%s)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
zip_name=$(sed -n 's/^project(FindRail VERSION \([0-9.]*\) .*/FindRail-\1-win32.zip/p' "$root/CMakeLists.txt")

# build <folder> <time zone> <umask>: a fresh clone of the commit, its DLL and its zip.
build() {
    local dir=$1
    git clone -q --no-hardlinks "$root" "$dir"
    git -C "$dir" checkout -q --detach "$commit"
    (
        cd "$dir"
        umask "$3"
        export TZ=$2
        cmake --preset i686 -DFINDRAIL_TESTS=OFF >/dev/null
        scripts/package.sh >/dev/null
    )
    echo "built in $dir"
}

build "$work/a/FindRail" UTC 022
sleep 5
build "$work/second/clone/of/FindRail" Asia/Tokyo 027

fail=0
for file in bin/FindRail.dll "release/$zip_name" "release/$zip_name.sha256"; do
    first="$work/a/FindRail/build/i686/$file"
    second="$work/second/clone/of/FindRail/build/i686/$file"
    if cmp -s "$first" "$second"; then
        echo "same: $file ($(stat -c %s "$first") bytes)"
    else
        echo "DIFFERENT: $file"
        cmp -l "$first" "$second" | head -5 || true
        fail=1
    fi
done
# A build path in the DLL would make it depend on where it was built, even when two paths happen to agree.
if strings -a "$work/a/FindRail/build/i686/bin/FindRail.dll" | grep -F "$work"; then
    echo "the DLL holds a build path"
    fail=1
fi
echo "commit $(git -C "$root" rev-parse --short "$commit"): $( [ $fail -eq 0 ] && echo reproducible || echo NOT reproducible )" \
     "in $(( $(date +%s) - start )) s"
exit $fail

#!/usr/bin/env bash
# A run over many files can be split across processes: GNU parallel, keeping
# the order of the files (-k) and the formats from its shell (-q), prints
# exactly what one process prints.
#   split_runs.sh TAGSIFT FILES_DIR
set -uo pipefail
tagsift=$1
cd "$2" || exit 2
command -v parallel >/dev/null || { echo "GNU parallel is not installed"; exit 2; }
failed=0
check() {  # check NAME RULES... --: the files are in files
    local name=$1
    shift
    local whole split
    # One process over all the files, then two files a process; parallel's status counts the
    # runs that failed, so only failure or success is compared.
    whole=$("$tagsift" "${@:1:$#-1}" -- "${files[@]}" 2>/dev/null; [ $? -eq 0 ] && echo ok || echo failed)
    split=$(parallel --will-cite -q -X -k -j 2 -n 2 "$tagsift" "${@:1:$#-1}" -- ::: "${files[@]}" 2>/dev/null;
            [ $? -eq 0 ] && echo ok || echo failed)
    if [ "$whole" != "$split" ]; then
        echo "FAIL $name"
        diff <(echo "$whole") <(echo "$split") | head -20
        failed=$((failed + 1))
    else
        echo "ok   $name"
    fi
}
files=(pages/*.html)
check pages -tag a -out '$_file$:$_line$:$_num$/$_gnum$ $href$\n' -tag td -out '[$_body$]' --
files=(warc/*.warc warc/*.warc.gz)
check warc --warc -tag a -out '$_url$ $_gnum$ $href$\n' --
echo "$((2 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]

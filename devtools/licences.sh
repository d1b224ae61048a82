# The licences a wheel carries in .dist-info/licenses/, beside the package's
# own LICENSE: those of what it bundles and of what is compiled into its
# modules.
#
#   scipy-openblas32.LICENSE.txt  the bundled libscipy_openblas (OpenBLAS,
#                                 LAPACK, and the GCC runtime linked into it)
#   armadillo.copyright           Armadillo, used header-only (Debian's
#   fast-float.copyright          copyright files), and fast_float
#   pybind11.LICENSE              pybind11
#   libc++.LICENSE.TXT            libc++, libc++abi and libunwind, linked
#   libc++abi.LICENSE.TXT         statically by zig
#   libunwind.LICENSE.TXT
#   zig.LICENSE                   zig's compiler runtime, linked in

# Gathers them into INPUTS/licences from the inputs gathered beside it
# (devtools/wheel_inputs.sh).
gather_licences() {
    local inputs=$1 out=$1/licences zig=$1/zig/ziglang
    mkdir -p "$out"
    cp "$inputs"/openblas/scipy_openblas32-*.dist-info/licenses/LICENSE.txt "$out/scipy-openblas32.LICENSE.txt"
    cp "$inputs/debian-copyright/libarmadillo-dev" "$out/armadillo.copyright"
    cp "$inputs/debian-copyright/libfast-float-dev" "$out/fast-float.copyright"
    "$WHEEL_TOOLS/bin/python" - "$inputs"/wheels/pybind11-*.whl >"$out/pybind11.LICENSE" <<'EOF'
import re, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as wheel:
    names = [n for n in wheel.namelist() if re.fullmatch(r"[^/]+\.dist-info/(licenses/)?LICENSE", n)]
    if not names:
        sys.exit(f"no LICENSE in {sys.argv[1]}")
    sys.stdout.buffer.write(wheel.read(names[0]))
EOF
    cp "$zig/lib/libcxx/LICENSE.TXT" "$out/libc++.LICENSE.TXT"
    cp "$zig/lib/libcxxabi/LICENSE.TXT" "$out/libc++abi.LICENSE.TXT"
    cp "$zig/lib/libunwind/LICENSE.TXT" "$out/libunwind.LICENSE.TXT"
    cp "$zig/LICENSE" "$out/zig.LICENSE"
}

# Puts them into the unpacked wheel TREE, each named in its METADATA as
# a License-File.
add_licences() {
    local tree=$1 info licence
    info=$(ls -d "$tree"/*.dist-info)
    mkdir -p "$info/licenses"
    for licence in "$WHEEL_INPUTS"/licences/*; do
        cp "$licence" "$info/licenses/"
        printf 'License-File: %s\n' "$(basename "$licence")" >>"$info/METADATA.licences"
    done
    # The fields go with the others, before the description that may follow
    # the headers.
    awk -v extra="$info/METADATA.licences" '
        !done && /^$/ { while ((getline line < extra) > 0) print line; done = 1 }
        { print }
        END { if (!done) while ((getline line < extra) > 0) print line }
    ' "$info/METADATA" >"$info/METADATA.new"
    mv "$info/METADATA.new" "$info/METADATA"
    rm "$info/METADATA.licences"
}

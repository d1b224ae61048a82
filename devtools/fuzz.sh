# ./dev fuzz SECONDS [COMMIT]: the XYZ reader's libFuzzer target, built with
# Debian's clang under AddressSanitizer and UndefinedBehaviorSanitizer and
# run for SECONDS (fuzz/run.sh); with COMMIT, the differential target,
# which reads every input with this reader and with the one at COMMIT.
# Fails on any finding.
run_fuzz() {
    [ $# -ge 1 ] || { usage; exit 2; }
    setup_tools
    apt_install_missing clang
    fuzz/run.sh "$@"
}

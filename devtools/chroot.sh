# Chroots of Debian suites, made with debootstrap and kept under the cache.
# The functions below make one, carry the host's package-index settings in,
# mount what programs inside need, and run commands there; every mount made
# is undone when the chroot is left or when ./dev ends, however it ends.

DEBIAN_CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/zorvak/debian
# What `./dev test` needs in a chroot before it installs the rest itself.
DEBIAN_TEST_PACKAGES=(git ca-certificates python3)
CHROOT_WATCHED=()
CHROOT_ENV=()
CHROOT_ROOT=
declare -A CHROOT_LOCK_FDS=()

# The chroot NAME's directory.  Mount points are matched by their names in
# /proc/self/mountinfo, which escapes blanks, so the path may hold none.
chroot_path() {
    local cache
    mkdir -p "$DEBIAN_CACHE"
    cache=$(realpath "$DEBIAN_CACHE")
    case $cache/$1 in
        *[[:space:]\\]*) die "the chroot directory $cache/$1 may hold no blanks or backslashes" ;;
    esac
    printf '%s\n' "$cache/$1"
}

# Holds the chroot NAME until chroot_release (or until ./dev ends): runs of
# one chroot take turns.
chroot_lock() {
    local fd
    exec {fd}>"$DEBIAN_CACHE/$1.lock"
    if ! flock -n "$fd"; then
        say "waiting for another run in the $1 chroot"
        flock "$fd"
    fi
    CHROOT_LOCK_FDS[$1]=$fd
}

chroot_release() {
    local fd=${CHROOT_LOCK_FDS[$1]:-}
    [ -n "$fd" ] || return 0
    exec {fd}>&-
    unset "CHROOT_LOCK_FDS[$1]"
}

# The Debian mirror of the host's apt sources (deb822 .sources files or
# one-line .list files): the first that serves the host's own suite.
host_debian_mirror() {
    local codename files=() f mirror
    codename=$(. /etc/os-release && printf '%s' "${VERSION_CODENAME:-}")
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && files+=("$f")
    done
    [ ${#files[@]} -gt 0 ] || die "no apt sources on this host to take a Debian mirror from"
    mirror=$(awk -v suite="$codename" '
        function take(uris,   w) { if (found == "") { split(uris, w, " "); found = w[1] } }
        function stanza_end() {
            if (index(" " types " ", " deb ") && tolower(enabled) != "no" \
                && index(" " suites " ", " " suite " "))
                take(uris)
            types = uris = suites = enabled = key = ""
        }
        FNR == 1 { stanza_end() }
        FILENAME ~ /\.sources$/ {
            if ($0 ~ /^[ \t]*$/) { stanza_end(); next }
            if ($0 ~ /^#/) next
            if ($0 ~ /^[ \t]/) value = $0
            else if (match($0, /^[A-Za-z0-9-]+:/)) {
                key = tolower(substr($0, 1, RLENGTH - 1)); value = substr($0, RLENGTH + 1)
            } else next
            gsub(/[ \t]+/, " ", value); sub(/^ /, "", value); sub(/ $/, "", value)
            if (key == "types") types = types " " value
            else if (key == "uris") uris = uris " " value
            else if (key == "suites") suites = suites " " value
            else if (key == "enabled") enabled = value
            next
        }
        {
            sub(/#.*/, ""); gsub(/\[[^]]*\]/, "")
            if ($1 == "deb" && $3 == suite) take($2)
        }
        END { stanza_end(); if (found != "") print found }
    ' "${files[@]}")
    [ -n "$mirror" ] || die "no Debian mirror for '$codename' in ${files[*]}"
    printf '%s\n' "$mirror"
}

# Mount points at or below a directory, the latest first.
mounts_in() {
    awk -v dir="$1" '$5 == dir || substr($5, 1, length(dir) + 1) == dir "/" { print $5 }' \
        /proc/self/mountinfo | tac
}

# A bind mount that passes no mount made below it back to its source (where
# the host's mounts are shared, as systemd makes them); "ro" as third
# argument makes it read-only.
bind_mount() {
    mount --bind "$1" "$2"
    mount --make-private "$2"
    if [ "${3:-}" = ro ]; then mount -o remount,bind,ro "$2"; fi
}

# Unmounts everything at or below ROOT when ./dev ends, however it ends.
chroot_watch() {
    if [ ${#CHROOT_WATCHED[@]} -eq 0 ]; then
        trap chroot_unmount_watched EXIT
        trap 'exit 129' HUP
        trap 'exit 130' INT
        trap 'exit 143' TERM
    fi
    CHROOT_WATCHED+=("$1")
}

chroot_unmount_watched() {
    local status=$? root
    for root in "${CHROOT_WATCHED[@]}"; do chroot_unmount "$root" || status=1; done
    exit "$status"
}

# What programs inside need: processes, devices, terminals, and a /dev/shm
# of their own (multiprocessing keeps its locks there).  The root is bound
# onto itself first, so that it is a mount point as / is: changing the
# propagation of / (unshare --mount-proc) needs that.
chroot_mount() {
    local root=$1
    chroot_watch "$root"
    bind_mount "$root" "$root"
    mount -t proc proc "$root/proc"
    bind_mount /sys "$root/sys"
    bind_mount /dev "$root/dev"
    bind_mount /dev/pts "$root/dev/pts"
    mount -t tmpfs -o nosuid,nodev,mode=1777 shm "$root/dev/shm"
}

# Unmounts everything at or below ROOT, the latest mount first; one still
# in use (a process left running inside) is detached lazily.  Fails when
# anything stays mounted.
chroot_unmount() {
    local root=$1 m left
    for m in $(mounts_in "$root"); do
        umount "$m" 2>/dev/null || umount --lazy "$m" 2>/dev/null || true
    done
    left=$(mounts_in "$root")
    [ -z "$left" ] && return 0
    say "still mounted at or below $root:" $left
    return 1
}

# rm -rf, refused while anything is mounted there: the host's /dev, or a
# directory of the host's bound in, would be emptied with it.
remove_tree() {
    [ -e "$1" ] || return 0
    [ -z "$(mounts_in "$1")" ] || die "not removing $1: something is mounted at or below it"
    rm -rf --one-file-system "$1"
}

# Settings every chroot gets: apt takes Release files whose validity has run
# out (testing's does, now and then).
chroot_configure() {
    printf 'Acquire::Check-Valid-Until "false";\n' >"$1/etc/apt/apt.conf.d/99zorvak"
}

# Makes the chroot NAME of Debian SUITE, unless it is there, and installs
# into it what it lacks of PACKAGES, without their recommends.  It is made
# under a temporary name and renamed once complete, so that a chroot under
# its own name is always whole; what an interrupted run left is made anew.
chroot_ensure() {
    local name=$1 suite=$2 root tmp mirror script missing=() p
    shift 2
    root=$(chroot_path "$name")
    tmp=$root.partial
    if [ ! -d "$root" ]; then
        mirror=$(host_debian_mirror)
        # A debootstrap older than the suite has no script of that name;
        # testing is made as unstable is.
        script=/usr/share/debootstrap/scripts/$suite
        [ -e "$script" ] || script=/usr/share/debootstrap/scripts/sid
        chroot_watch "$tmp"
        chroot_unmount "$tmp"
        remove_tree "$tmp"
        say "making the Debian $suite chroot $root from $mirror"
        local started=$SECONDS
        if ! debootstrap --variant=minbase ${1:+--include="$(IFS=,; printf '%s' "$*")"} \
            "$suite" "$tmp" "$mirror" "$script" >"$root.debootstrap.log" 2>&1; then
            tail -n 20 "$root.debootstrap.log" >&2
            die "debootstrap failed (log: $root.debootstrap.log)"
        fi
        chroot_unmount "$tmp"
        mv -T "$tmp" "$root"
        say "made the $suite chroot in $((SECONDS - started)) s"
    fi
    chroot_configure "$root"
    for p in "$@"; do
        package_installed "$p" "$root" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return
    say "installing into the $name chroot: ${missing[*]}"
    chroot_mount "$root"
    chroot_run "$root" root sh -c \
        'apt-get update -qq && apt-get install -y -qq --no-install-recommends "$@" >/dev/null' sh "${missing[@]}"
    chroot_unmount "$root"
}

# Key-value pairs of a pip configuration file, one "key<TAB>value" a line,
# keys as pip takes them (lower case, "-" for "_"); a continuation line
# repeats its key.
pip_config_pairs() {
    awk '
        /^[ \t]*([#;]|$)/ { next }
        /^\[/ { key = ""; next }
        /^[ \t]/ { if (key != "") print key "\t" $0; next }
        match($0, /[=:]/) {
            key = tolower(substr($0, 1, RSTART - 1)); gsub(/[ \t]/, "", key); gsub(/_/, "-", key)
            print key "\t" substr($0, RSTART + 1)
        }
    ' "$1"
}

# The local paths a pip setting names: absolute paths and file: URLs among
# the words of the values of the keys that name files or indexes.  A local
# index's pages may link to files beside it (../../files/NAME from
# simple/PROJECT/), so for an index its parent is named.
pip_setting_paths() {
    local key value
    while IFS=$'\t' read -r key value; do
        case $key in
            # One path each, which may hold blanks.
            cert|client-cert|config-file)
                printf '%s\n' "$value" | sed -n -e 's|^file:\(//\)\{0,1\}||' -e '\|^/|p' ;;
            c|constraint|r|requirement|f|find-links)
                printf '%s\n' "$value" | tr -s ' \t' '\n\n' | sed -n -e 's|^file:\(//\)\{0,1\}||' -e '\|^/|p' ;;
            i|index-url|extra-index-url)
                printf '%s\n' "$value" | tr -s ' \t' '\n\n' | sed -n -e 's|^file:\(//\)\{0,1\}||' \
                    -e '\|^/.*[^/]/*$|{s|/*$||; s|/[^/]*$||; \|^/.|p;}' ;;
        esac
    done
}

# True when the chroot at ROOT has something of its own at PATH, which a
# directory bound there would hide: a package's directory, or any file.
chroot_has_own() {
    chroot "$1" dpkg-query -S "$2" >/dev/null 2>&1 \
        || [ -n "$(find "$1$2" -mindepth 1 ! -type d -print -quit 2>/dev/null)" ]
}

# The host's package-index settings, carried into the chroot at ROOT at the
# same paths, so that pip inside reaches what pip outside does: pip's
# configuration files (the user's go to HOME, the home inside), the files
# they and the PIP_* variables name (copied), the local directories they
# name (bound read-only), and the CA bundle.  Sets CHROOT_ENV to the
# variables to pass in.
chroot_carry_index_settings() {
    local root=$1 home=$2 from to name key path paths=() bundles=()
    local -A seen=()
    local -A configs=(
        [/etc/pip.conf]=/etc/pip.conf
        [/etc/xdg/pip/pip.conf]=/etc/xdg/pip/pip.conf
        ["${XDG_CONFIG_HOME:-$HOME/.config}/pip/pip.conf"]=$home/.config/pip/pip.conf
        ["$HOME/.pip/pip.conf"]=$home/.pip/pip.conf
    )
    CHROOT_ENV=()
    for from in "${!configs[@]}"; do
        to=$root${configs[$from]}
        rm -f "$to"  # one carried by an earlier run
        [ -f "$from" ] || continue
        install -D -m 644 "$from" "$to"
        mapfile -t -O ${#paths[@]} paths < <(pip_config_pairs "$from" | pip_setting_paths)
    done
    for name in $(compgen -e); do
        case $name in
            PIP_*)
                key=${name#PIP_}; key=${key,,}; key=${key//_/-}
                mapfile -t -O ${#paths[@]} paths < <(printf '%s\t%s\n' "$key" "${!name}" | pip_setting_paths)
                if [ "$key" = config-file ] && [ -f "${!name}" ]; then
                    mapfile -t -O ${#paths[@]} paths < <(pip_config_pairs "${!name}" | pip_setting_paths)
                fi ;;
            SSL_CERT_FILE|REQUESTS_CA_BUNDLE) ;;
            *) continue ;;
        esac
        CHROOT_ENV+=("$name=${!name}")
    done
    for name in PIP_CERT SSL_CERT_FILE REQUESTS_CA_BUNDLE; do
        [ -n "${!name:-}" ] && bundles+=("${!name}")
    done
    [ ${#bundles[@]} -gt 0 ] || bundles=(/etc/ssl/certs/ca-certificates.crt)
    for path in "${bundles[@]}" "${paths[@]}"; do
        [ -e "$path" ] || continue
        path=$(realpath -s "$path")
        [ -z "${seen[$path]:-}" ] || continue
        seen[$path]=1
        # A link in the chroot that leads out of it is not followed.
        case $(realpath -m "$root$path") in
            "$root"/*) ;;
            *) say "not carried into the chroot: $path (a link leads out of it)"; continue ;;
        esac
        if [ -f "$path" ]; then
            rm -f "$root$path"
            install -D -m 644 "$path" "$root$path"
        elif [ -d "$path" ] && ! mountpoint -q "$root$path" && ! chroot_has_own "$root" "$path"; then
            mkdir -p "$root$path"
            bind_mount "$path" "$root$path" ro
        fi
    done
}

# Runs COMMAND in the chroot at ROOT as USER, in a clean environment plus
# CHROOT_ENV, with the host's name resolution and proxy, if any.
chroot_run() {
    local root=$1 user=$2 home proxy proxies=()
    shift 2
    for proxy in http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
        [ -z "${!proxy:-}" ] || proxies+=("$proxy=${!proxy}")
    done
    # Removed first: a link there would lead the copy out of the chroot.
    rm -f "$root/etc/resolv.conf"
    cp -L /etc/resolv.conf "$root/etc/resolv.conf"
    home=$(chroot "$root" getent passwd "$user" | cut -d: -f6)
    chroot --userspec="$user" "$root" env -i HOME="$home" USER="$user" LOGNAME="$user" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        TERM="${TERM:-dumb}" DEBIAN_FRONTEND=noninteractive "${proxies[@]}" "${CHROOT_ENV[@]}" "$@"
}

# A fresh clone of HEAD at DEST in the chroot at ROOT: what is not committed
# stays out.
chroot_clone_head() {
    local root=$1 dest=$2
    remove_tree "$root$dest"
    git clone --quiet --no-checkout --no-hardlinks "$PWD" "$root$dest"
    git -C "$root$dest" checkout --quiet --detach "$(git rev-parse HEAD)"
}

# HEAD checked out at DEST in the chroot at ROOT, in the clone an earlier
# run made there, if any: what its build left stays, so it can be reused.
chroot_update_clone() {
    local root=$1 dest=$2
    if ! git -C "$root$dest" rev-parse --git-dir >/dev/null 2>&1; then
        chroot_clone_head "$root" "$dest"
        return
    fi
    git -C "$root$dest" fetch --quiet "$PWD" HEAD
    git -C "$root$dest" checkout --quiet --force --detach FETCH_HEAD
    git -C "$root$dest" clean --quiet -d --force
}

# Makes (or completes) the chroot NAME of Debian SUITE with PACKAGES, holds
# it until chroot_leave and mounts what programs inside need; CHROOT_ROOT is
# its directory.
chroot_enter() {
    local name=$1
    [ "$(id -u)" -eq 0 ] || die "this makes and enters a chroot: run it as root"
    apt_install_missing debootstrap
    mkdir -p "$DEBIAN_CACHE"
    chroot_lock "$name"
    chroot_ensure "$@"
    CHROOT_ROOT=$(chroot_path "$name")
    chroot_mount "$CHROOT_ROOT"
}

# Unmounts everything in the chroot NAME and lets other runs have it.
chroot_leave() {
    chroot_unmount "$(chroot_path "$1")"
    chroot_release "$1"
}

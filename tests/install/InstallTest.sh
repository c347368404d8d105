#!/usr/bin/env bash
# Installs the build into an empty prefix and checks what a desktop and a
# terminal find there: the files, the validators' verdict on the desktop
# entry and the AppStream data, the man pages, the completion, and the
# installed torv-cli talking to a simulated ESC with no TORV.ini anywhere.
#   InstallTest.sh BUILD_DIR
set -u -o pipefail

build=$(cd "$1" && pwd) || exit 1
work=$(mktemp -d)
sim_pid=
cleanup()
{
    [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail()
{
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

prefix=$work/prefix
timeout 120 cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 \
    || { cat "$work/install.log" >&2; echo "FAILED: cmake --install" >&2; exit 1; }

id=example.brisko_esc.TORV
for file in bin/torv bin/torv-cli bin/torv-esc-sim share/torv/Brisko.esc share/torv/help.html \
    share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png \
    share/icons/hicolor/128x128/apps/$id.png share/icons/hicolor/256x256/apps/$id.png \
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/man/man1/torv.1 share/man/man1/torv-cli.1 share/bash-completion/completions/torv-cli; do
    [[ -s $prefix/$file ]] || fail "$file is not installed"
done
[[ -e $prefix/bin/Brisko.esc ]] && fail "the library is installed beside the programs"

for tool in desktop-file-validate appstreamcli; do
    command -v $tool >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >"$work/appstream.log" 2>&1 \
    || { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }

# The man pages carry what the programs' help says, commands included.
grep -q '^\.TH TORV-CLI 1' "$prefix/share/man/man1/torv-cli.1" || fail "torv-cli.1 has no title"
for text in 'logs write\\-image FILE' '\\-\\-max\\-speed BAUD' 'TORV_PORT' '\\-\\-csv'; do
    grep -q -- "$text" "$prefix/share/man/man1/torv-cli.1" || fail "torv-cli.1 lacks $text"
done
grep -q 'TORV.ini' "$prefix/share/man/man1/torv.1" || fail "torv.1 lacks its files"

# The completion offers the commands, a group's commands, and port paths.
# offers WORD ARGS...: the completion of ARGS lists WORD. The candidates are
# taken whole before they are searched: with pipefail, grep -q leaving early
# would fail the pipeline whenever the list is long.
offers()
{
    local word=$1 words
    shift
    words=$(complete_words "$@")
    grep -qx -- "$word" <<<"$words"
}
complete_words()
{
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _torv_cli; printf "%s\n" "${COMPREPLY[@]}"' \
        _ "$prefix/share/bash-completion/completions/torv-cli" "$@"
}
[[ $(complete_words torv-cli ide) == identify ]] || fail "no completion of ide"
offers write-image torv-cli logs w || fail "no completion of logs w"
offers --csv torv-cli monitor --c || fail "no completion of monitor --c"
offers --no-backup torv-cli curves set --no || fail "no completion of curves set --no"

home=$work/home
mkdir -p "$home"
run()
{
    env -i HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
        XDG_DATA_DIRS="$work/none" XDG_RUNTIME_DIR="$work" PATH=/usr/bin:/bin "$@"
}
[[ $(run timeout 30 "$prefix/bin/torv-cli" --version) == "torv-cli "* ]] || fail "torv-cli --version"
[[ $(run timeout 30 "$prefix/bin/torv" --version) == "torv "* ]] || fail "torv --version"

# The simulator says its device path on its first line.
mkfifo "$work/sim.out"
"$prefix/bin/torv-esc-sim" >"$work/sim.out" &
sim_pid=$!
device=
read -r -t 30 device <"$work/sim.out" || fail "the simulator gave no device path within 30 s"
if [[ -n $device ]]; then
    offers "$device" torv-cli --port "${device%/*}/" || fail "no completion of the port $device"
    out=$(TORV_LIMIT_FACTOR=5 run timeout 60 "$prefix/bin/torv-cli" --port "$device" identify 2>"$work/identify.err")
    status=$?
    [[ $status == 0 ]] || { cat "$work/identify.err" >&2; fail "installed torv-cli identify ended with $status"; }
    [[ $out == *"Brisko"* ]] || fail "identify did not name the ESC: $out"
    [[ -e $prefix/bin/TORV.ini || -e $home/.config/TORV/TORV.ini ]] && fail "a TORV.ini was written"

    # The installed program reads its settings from the user's folder.
    mkdir -p "$home/.config/TORV"
    printf '[TORV]\nPort=%s\n' "$device" >"$home/.config/TORV/TORV.ini"
    TORV_LIMIT_FACTOR=5 run timeout 60 "$prefix/bin/torv-cli" identify >/dev/null 2>"$work/identify.err" \
        || { cat "$work/identify.err" >&2; fail "the installed torv-cli did not take Port from ~/.config/TORV/TORV.ini"; }
fi

# The Debian package declares what it needs.
if command -v dpkg-deb >/dev/null; then
    (cd "$work" && timeout 240 cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1) \
        || { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
    deb=$(ls "$work"/package/torv_*.deb 2>/dev/null | head -n 1)
    if [[ -z $deb ]]; then
        fail "cpack made no torv_*.deb"
    else
        depends=$(dpkg-deb -f "$deb" Depends)
        for package in libqt6widgets6 libqt6serialport6 libpugixml1v5 libmuparser2v5 librtmidi6 libqt6svg6; do
            [[ $depends == *"$package"* ]] || fail "the package does not depend on $package: $depends"
        done
        dpkg-deb -c "$deb" >"$work/contents.txt"
        grep -q '\./usr/bin/torv-cli$' "$work/contents.txt" || fail "the package holds no /usr/bin/torv-cli"
    fi
fi

((failures == 0))

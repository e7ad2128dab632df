#!/bin/bash
# What an installation gives a user, checked as one.
#
#   check-install.sh tree BUILD_DIR   cmake --install into a scratch prefix: the layout, the desktop
#                                     entry and metainfo through their validators, then the installed
#                                     program started by a throw-away user (useradd, runuser) under a
#                                     private Xvfb: it runs as that user, finds its tool and pages,
#                                     moves earlier settings to ~/.config/Vistrel, records into
#                                     ~/ScreenSave, and a second start only brings it forward.
#   check-install.sh deb BUILD_DIR    cpack -G DEB: the package's name, its dependencies and, unpacked
#                                     with dpkg -x, the same layout.
#
# Exits 77 (skipped) where the user part cannot run: not root, or no runuser.
set -euo pipefail

mode=$1
build=$(cd "$2" && pwd)
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
user=""
cleanup() {
    # Only what this script started, by PID; then the throw-away user and its home.
    for pid in $app_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in $app_pid $xvfb_pid; do
        for _ in $(seq 100); do gone "$pid" && break; sleep 0.1; done
    done
    [ -n "$user" ] && userdel -r "$user" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
check() { # DESCRIPTION COMMAND...
    local what=$1
    shift
    "$@" || fail "$what"
}
# The process has ended (a zombie not reaped yet counts as ended).
gone() { [ ! -e "/proc/$1" ] || grep -q ') Z' "/proc/$1/stat" 2>/dev/null; }
# wait_for SECONDS COMMAND...: until COMMAND succeeds.
wait_for() {
    local tries=$(($1 * 10))
    shift
    for _ in $(seq "$tries"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# The installed tree under PREFIX: the executable with its tool and pages in one folder, reached
# from bindir through a relative link; the desktop entry, metainfo and every icon under the id.
check_layout() {
    local prefix=$1 link real dir size
    link=$(readlink "$prefix/bin/vistrel") || fail "bin/vistrel is not a link"
    [[ $link != /* ]] || fail "bin/vistrel links to an absolute path ($link): the tree cannot move"
    real=$(readlink -f "$prefix/bin/vistrel")
    dir=$(dirname "$real")
    check "bin/vistrel leads to the executable in <libdir>/vistrel ($real)" \
        test -x "$real" -a "$(basename "$dir")" = vistrel
    check "the tool beside the executable runs FFmpeg" \
        test "$(readlink -f "$dir/tool")" = "$(readlink -f /usr/bin/ffmpeg)"
    for page in help support about; do
        check "doc/$page.html beside the executable" test -s "$dir/doc/$page.html"
    done
    check "desktop entry" test -s "$prefix/share/applications/org.vistrel.Vistrel.desktop"
    check "metainfo" test -s "$prefix/share/metainfo/org.vistrel.Vistrel.metainfo.xml"
    for size in 16 24 32 48 64 128 256; do
        local icon=$prefix/share/icons/hicolor/${size}x$size/apps/org.vistrel.Vistrel.png
        file "$icon" | grep -q "PNG image data, $size x $size" || fail "no $size px icon: $icon"
    done
    check "scalable icon" grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/org.vistrel.Vistrel.svg"
}

if [ "$mode" = deb ]; then
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    deb=$work/pkg/vistrel_${version}_$(dpkg --print-architecture).deb
    check "cpack made $(basename "$deb")" test -s "$deb"
    depends=$(dpkg-deb --field "$deb" Depends)
    echo "Depends: $depends"
    # Computed from the executable's libraries, plus what it runs and shows.
    for need in libqt6widgets6 libqt6network6 libc6 ffmpeg fonts-crosextra-carlito qt6-qpa-plugins; do
        [[ ", $depends" == *", $need"* ]] || fail "the package does not depend on $need"
    done
    dpkg -x "$deb" "$work/root"
    check_layout "$work/root/usr"
    echo "deb: ok"
    exit 0
fi

[ "$mode" = tree ] || { echo "usage: $0 tree|deb BUILD_DIR" >&2; exit 2; }
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
    { cat "$work/install.log" >&2; fail "cmake --install"; }
check_layout "$prefix"
desktop-file-validate "$prefix/share/applications/org.vistrel.Vistrel.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/org.vistrel.Vistrel.metainfo.xml" ||
    fail "appstreamcli validate"

if [ "$(id -u)" -ne 0 ] || ! command -v runuser >/dev/null; then
    echo "not root: the installed program is not started as a throw-away user"
    exit 77
fi
user=vistrel-t$$
useradd --create-home --shell /bin/sh "$user"
home=$(getent passwd "$user" | cut -d: -f6)
chmod 755 "$work"
dir=$(dirname "$(readlink -f "$prefix/bin/vistrel")")
# An earlier version, run as root, kept its settings beside the executable.
printf '[screen_record]\nsave_path=%s/ScreenSave\n' "$home" >"$dir/ScreenRecord.ini"
# The help pages open through xdg-open: this one notes what it was asked to open.
mkdir -p "$work/bin" "$work/run"
printf '#!/bin/sh\necho "$1" >>"$HOME/opened"\n' >"$work/bin/xdg-open"
chmod 755 "$work/bin/xdg-open"
chown "$user" "$work/run"
chmod 700 "$work/run"

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 10 test -s "$work/display" || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
export DISPLAY=":$(head -n1 "$work/display")"
as_user() {
    runuser -u "$user" -- env -i HOME="$home" PATH="$work/bin:/usr/bin:/bin" LANG=C.UTF-8 \
        DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb \
        PULSE_SERVER=unix:/nonexistent/native "$@"
}

# Started as a menu starts it: the launcher relaunches it and ends.
as_user "$prefix/bin/vistrel" || fail "the launcher ended with $?"
state=$home/.local/state/vistrel
log=$state/Out.txt
wait_for 30 grep -q "window shown" "$log" 2>/dev/null || fail "no window was shown"
app_pid=$(sed -n 's/.*window shown, pid \([0-9]*\).*/\1/p' "$log")
check "the program runs as $user" test "$(stat -c %U "/proc/$app_pid")" = "$user"
check "it works in the state folder" test "$(readlink "/proc/$app_pid/cwd")" = "$state"
check "the state folder is the user's alone" test "$(stat -c %a "$state")" = 700
check "it runs its tool" grep -q "run: $dir/tool -hide_banner -sources pulse" "$log"
ini=$home/.config/Vistrel/ScreenRecord.ini
check "the earlier settings are in ~/.config/Vistrel" grep -q "save_path=$home/ScreenSave" "$ini"
check "the settings belong to $user" test "$(stat -c %U "$ini")" = "$user"

window=$(xdotool search --sync --onlyvisible --name '^Vistrel$' | head -n1)
wm_class=$(sed -n 's/^StartupWMClass=//p' "$prefix/share/applications/org.vistrel.Vistrel.desktop")
has_property() { xprop -id "$window" "$1" | grep -q "$2"; }
# The window is mapped a moment before its properties are all set.
wait_for 5 has_property WM_CLASS "\"$wm_class\"" || fail "the window's class is not $wm_class"
wait_for 5 has_property _NET_WM_ICON "Icon (" || fail "the window has no icon"

# The help button (top right) opens the installed page.
xdotool mousemove --window "$window" 919 49 click 1
wait_for 10 grep -q "file://$dir/doc/help.html" "$home/opened" 2>/dev/null || fail "help page not opened"

# A second start brings the first forward and ends; one window stays.
as_user "$prefix/bin/vistrel" || fail "a second start ended with $?"
wait_for 10 grep -q "a second start asked for the window" "$log" || fail "the first was not asked"
check "one window" test "$(xdotool search --onlyvisible --name '^Vistrel$' | wc -l)" -eq 1

# Record tile, then Record: a recording by the user, in the user's ~/ScreenSave.
xdotool mousemove --window "$window" 500 180 click 1
sleep 0.5
xdotool mousemove --window "$window" 899 533 click 1
wait_for 10 grep -q "recording into $home/ScreenSave/" "$log" || fail "no recording started"
sleep 2
kill -TERM "$app_pid"
wait_for 60 gone "$app_pid" || fail "the program did not end"
app_pid=""
recording=$(find "$home/ScreenSave" -name '*.mp4' ! -name '.*' | head -n1)
check "a recording in ~/ScreenSave" test -s "$recording"
check "the recording belongs to $user" test "$(stat -c %U "$recording")" = "$user"
echo "tree: ok"

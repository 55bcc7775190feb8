#!/usr/bin/env bash
# Makes the README's pictures from the running program: starts it against the simulated world on a virtual X
# display with fresh settings, brings it into each view through the accessibility interface
# (tools/atspi_drive.py), as a user would with keyboard and mouse, and saves doc/images/<name>.png.
#
# Usage: tools/screenshots.sh [session...]   (default: every session)
#   sessions: english (database-list, compare, controller-write), mifare, russian, dark, high-contrast
#   (and high-contrast-inverse, not made by default)
# The program is built here (Release, build-release) unless KESTRIX_BUILD names a build folder that already
# holds kestrix, kestrix-devsim, kestrix-cards, schemas/ and locale/ (absolute, or relative to the tree).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

# The accessibility bus lives in a session bus of its own, which ends with this script.
if [ -z "${KESTRIX_SHOTS_BUS:-}" ]; then
    for p in xvfb imagemagick xdotool at-spi2-core gir1.2-atspi-2.0 python3-gi dbus; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" ||
            DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p"
    done
    KESTRIX_SHOTS_BUS=1 exec dbus-run-session -- "$0" "$@"
fi

if [ -n "${KESTRIX_BUILD:-}" ]; then
    case $KESTRIX_BUILD in /*) build=$KESTRIX_BUILD ;; *) build=$top/$KESTRIX_BUILD ;; esac
else
    tools/deps.sh
    build=$top/build-release
    cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIX_TESTS=OFF >/dev/null
    cmake --build build-release -j "$(nproc)" --target kestrix kestrix-devsim kestrix-cards
fi
for f in kestrix kestrix-devsim kestrix-cards schemas/gschemas.compiled; do
    [ -e "$build/$f" ] || { echo "No $build/$f: build the program first" >&2; exit 1; }
done

# The Debian interpreter: python3-gi belongs to it, not to other Pythons earlier on the PATH.
# A step that fails leaves the screen and the controls it saw in /tmp/kestrix-shots-failure.*.
drive() {
    /usr/bin/python3 "$top/tools/atspi_drive.py" "$@" && return
    import -window root /tmp/kestrix-shots-failure.png
    /usr/bin/python3 "$top/tools/atspi_drive.py" dump >/tmp/kestrix-shots-failure.txt 2>&1
    echo "failed: $*; the screen and the controls are in /tmp/kestrix-shots-failure.{png,txt}" >&2
    return 1
}
images=$top/doc/images
mkdir -p "$images"
scratch=$(mktemp -d /tmp/kestrix-shots.XXXXXX)
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x900x24 >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
export GSK_RENDERER=cairo
# Windows draw their own title bars: the virtual display has no window manager to do it.
export GTK_CSD=1
# The accessibility bridge of the toolkit talks to the registry of this session bus.
export GTK_A11Y=atspi
trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -rf "$scratch"' EXIT
until xdpyinfo -display "$display" >/dev/null 2>&1 || xdotool getmouselocation >/dev/null 2>&1; do sleep 0.1; done

# The program's main window (its title ends in "Kestrix").
main_window() {
    local i window
    for i in $(seq 100); do
        window=$(xdotool search --onlyvisible --name 'Kestrix$' | head -n 1) && [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "The main window is gone" >&2; return 1; }
    echo "$window"
}

# Saves the main window as doc/images/$1.png; with a window title as $2, that window (a dialog the
# display shows at its top left corner, without a window manager) is first moved over the main window's
# middle and the picture holds both.
shot() {
    local main dialog
    main=$(main_window)
    eval "$(xdotool getwindowgeometry --shell "$main" | sed 's/^/main_/')"
    if [ -n "${2:-}" ]; then
        dialog=$(xdotool search --onlyvisible --name "$2" | head -n 1)
        eval "$(xdotool getwindowgeometry --shell "$dialog" | sed 's/^/dialog_/')"
        # shellcheck disable=SC2154
        xdotool windowmove "$dialog" $((main_X + (main_WIDTH - dialog_WIDTH) / 2)) \
            $((main_Y + (main_HEIGHT - dialog_HEIGHT) / 2 + 40))
    fi
    # The last frame of the change just waited for is drawn.
    sleep 0.5
    # The screen's part under the main window: with the dialog above it, where one is shown.
    # shellcheck disable=SC2154
    import -window root -crop "${main_WIDTH}x${main_HEIGHT}+${main_X}+${main_Y}" +repage "$images/$1.png"
    if [ -n "${2:-}" ]; then
        # Without a window manager the dialog has no frame: a thin line sets it off from the window below.
        eval "$(xdotool getwindowgeometry --shell "$dialog" | sed 's/^/dialog_/')"
        mogrify -fill none -stroke '#555555' -draw "rectangle $((dialog_X - main_X - 1)),$((dialog_Y - main_Y - 1)) \
$((dialog_X - main_X + dialog_WIDTH)),$((dialog_Y - main_Y + dialog_HEIGHT))" "$images/$1.png"
    fi
    echo "doc/images/$1.png"
}

# One run of the program against a world of its own, with fresh settings (a larger window than the first
# start's default) and the sample databases; $1 is a function that drives it, the rest environment settings.
session() {
    local scene=$1
    shift
    (
        home=$scratch/$scene
        mkdir -p "$home/glib-2.0/settings"
        export XDG_CONFIG_HOME=$home GSETTINGS_BACKEND=keyfile
        printf '[org/kestrix/Kestrix]\nwindow-width=1180\nwindow-height=680\nmifare-width=560\nmifare-height=360\n' \
            >"$home/glib-2.0/settings/keyfile"
        export "$@"
        source tools/world.sh >/dev/null
        kestrix_pid=
        trap '[ -z "$kestrix_pid" ] || kill "$kestrix_pid" 2>/dev/null; world_stop' EXIT
        "$build/kestrix" >"$home/kestrix.log" 2>&1 &
        kestrix_pid=$!
        drive wait-app
        main_window >/dev/null
        "$scene"
    )
}

# The device simulator's command line, as tools/devices.sh gives it.
devices() { "$build/kestrix-devsim" --control "$RDX_SIM_DIR/control" --send "$*" >/dev/null; }

# Opens the databases named $@ (one, or two side by side).
open_databases() {
    drive select-name 0 "$@" . menu 0 Open wait "spin button" "Lock open time, seconds"
}

# Closes the active table; the database list shows again once no table is left.
close_database() {
    drive press "push button" "Close database"
}

back_to_list() {
    drive wait text "Database name"
}

# Makes an empty database named $1, described as $2.
create_database() {
    drive select-name 0 . set-text "Database name" "$1" set-text "Database description" "$2"
    drive press "push button" Create wait label "$1"
}

english() {
    drive wait label Office
    shot database-list

    open_databases Office
    # The controller round trip: Office into the controller, the controller into a new database, both
    # compared.
    drive key F11 wait label "Recording has completed successfully*"
    # The README's device bench command sees the five keys in the controller.
    build=$build tools/devices.sh controller keys | grep -q "^ok: 5 keys"
    close_database
    back_to_list
    create_database Readback "Read back from the controller"
    open_databases Readback
    drive key F12 wait label "* keys read:*" press "push button" "Save database"
    close_database
    back_to_list
    # The controller keeps no key types, dates or descriptions: the keys are compared by what it holds.
    open_databases Office Readback
    drive click "check box" Type click "check box" Added click "check box" Description
    drive press "push button" Compare wait label "The key lists are equal." press "push button" "_OK OK"
    close_database
    close_database
    back_to_list
    # A key added to Office, which the controller does not hold.
    open_databases Office
    drive set-text "Key number" 00000ABCDEF0 set-text "Key description" "New tenant" press "push button" Add
    drive wait label "New tenant" press "push button" "Save database"
    close_database
    back_to_list
    open_databases Office Readback
    drive press "push button" Compare wait label "The key lists are different (matches 5)."
    drive press "push button" "_OK OK"
    shot compare

    # A controller write caught while it runs: a database of 1300 keys, imported from a CSV file, written
    # with the simulator pacing the line at its 38,400 baud.
    close_database
    close_database
    back_to_list
    {
        echo "Type,Number,Description"
        for i in $(seq 1 1300); do printf 'EM,%012X,Tenant %d\n' $((0x10000 + i)) "$i"; done
    } >"$home/tenants.csv"
    create_database Tenants "Apartment house, 1300 cards"
    open_databases Tenants
    # The file chooser takes a typed path after Ctrl+L.
    drive menu 0 "Import from CSV file..." wait "" "Enter the name of the CSV file" wait "push button" "_Open*"
    drive key ctrl+l type "$home/tenants.csv" press "push button" "_Open*" wait-gone "" "Enter the name of the CSV file"
    drive wait label "1300 keys imported*"
    devices pace on
    drive key-watch F11 label "1300 keys imported*" "Recording to the controller Q-4T*"
    shot controller-write
    drive wait label "Recording has completed successfully*"
}

# The Mifare dialog writing the Office keys to the simulated reader's blank cards (the dialog stays open: it
# ends the session).
mifare() {
    open_databases Office
    drive menu 5 "Database --> Mifare" wait list Cards wait "table row" "*"
    shot mifare "Mifare: Card Recording"
}

russian() {
    drive wait label Office select-name 0 "Подъезд 1" . menu 0 0 wait "spin button" "*"
    shot russian
}

themed() {
    drive wait label Office
    open_databases Office Warehouse
    drive press "push button" "${compare_label:-Compare}" wait "push button" "_OK OK" press "push button" "_OK OK" wait-gone "push button" "_OK OK"
    shot "$shot_name"
}

scenes=("$@")
[ ${#scenes[@]} -gt 0 ] || scenes=(english mifare russian dark high-contrast)
for s in "${scenes[@]}"; do
    case $s in
    english) session english LANGUAGE=en ;;
    mifare) session mifare LANGUAGE=en ;;
    russian) session russian LANGUAGE=ru ;;
    dark) session themed GTK_THEME=Adwaita:dark shot_name=dark ;;
    high-contrast) session themed GTK_THEME=HighContrast shot_name=high-contrast ;;
    high-contrast-inverse) session themed GTK_THEME=HighContrast:dark shot_name=high-contrast-inverse ;;
    *) echo "unknown session $s" >&2; exit 2 ;;
    esac
done

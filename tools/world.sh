# Sourced by the run and screenshot commands: points Kestrix at the Release build's schema and translations
# and starts the simulated world in a temporary folder (RDX_SIM_DIR): the device simulator's adapter with a
# controller and a DS1996L, and a Mifare reader with blank cards. `world_stop` ends it.
# The build folder: build-release in the tree, or another one named by $build (absolute or in the tree).
case ${build:-build-release} in
/*) build_dir=$build ;;
*) build_dir=$top/${build:-build-release} ;;
esac
export GSETTINGS_SCHEMA_DIR=$build_dir/schemas
export TEXTDOMAINDIR=$build_dir/locale
# Without a desktop settings service the settings live in a key file under the user's config folder.
export GSETTINGS_BACKEND=${GSETTINGS_BACKEND:-keyfile}
# A bare "C" locale ignores LANGUAGE; C.UTF-8 keeps everything else and lets LANGUAGE=ru choose Russian.
case "${LC_ALL:-${LANG:-C}}" in C | POSIX) export LANG=C.UTF-8; unset LC_ALL ;; esac
world=$(mktemp -d /tmp/kestrix-world.XXXXXX)
export RDX_SIM_DIR=$world
# tools/devices.sh finds the running world here.
world_pointer=${TMPDIR:-/tmp}/kestrix-world.$(id -u)
echo "$world" > "$world_pointer"
devsim_pid=
world_stop() {
    [ -n "$devsim_pid" ] && kill "$devsim_pid" 2>/dev/null || true
    rm -rf "$world"
    [ "$(cat "$world_pointer" 2>/dev/null)" != "$world" ] || rm -f "$world_pointer"
}

# A database folder that is still empty gets the two sample databases.
db_dir=$(gsettings get org.kestrix.Kestrix db-dir 2>/dev/null | sed "s/^'//; s/'$//") || db_dir=
[ -n "$db_dir" ] || db_dir=${XDG_CONFIG_HOME:-$HOME/.config}/kestrix/bases
mkdir -p "$db_dir"
if [ -z "$(ls -A "$db_dir")" ]; then
    cp "$top"/resources/samples/*.dbf "$db_dir"/
    echo "Sample databases copied to $db_dir"
fi

# A Mifare reader with blank cards, one of them lying on the reader.
if [ -x "$build_dir"/kestrix-cards ]; then
    cards() { "$build_dir"/kestrix-cards --world "$world" "$@" >/dev/null; }
    cards reader add mifare1
    for uid in 04A1B201 04A1B202 04A1B203; do cards blank 1k "$uid"; done
    cards put 04A1B201 mifare1
    # A desktop reader that writes Temic tags.
    cards reader add temic1 1
    echo "Mifare cards and the Temic tag: tools/devices.sh cards (list | put <uid> mifare1 | take mifare1 | temic show)"
fi

if [ -x "$build_dir"/kestrix-devsim ]; then
    "$build_dir"/kestrix-devsim --demo --world "$world" --control "$world/control" </dev/null &
    devsim_pid=$!
    echo "Device simulator running; touch keys and watch the controller with: tools/devices.sh help"
fi

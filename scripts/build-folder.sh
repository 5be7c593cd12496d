# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by run.sh and test.sh: picks the build folder and configures it.
#
# A build folder belongs to the user who made it: another user (an ordinary
# user after root, or root after a user) gets a folder of their own, beside
# it when the clone is writable, otherwise in their cache folder. BUILD_DIR
# overrides the choice.

# Whether the current user may build in FOLDER: theirs, or not there yet
# and creatable.
lentora_folder_usable() {
    local folder=$1
    if [[ -e $folder ]]; then
        [[ -O $folder && -w $folder ]]
    else
        [[ -w $(dirname "$folder") ]]
    fi
}

# Prints the build folder for this user: NAME (e.g. build) when it is usable.
lentora_build_folder() {
    local name=$1
    if [[ -n ${BUILD_DIR:-} ]]; then
        echo "$BUILD_DIR"
        return
    fi
    local user
    user=$(id -un)
    for folder in "$name" "$name-$user"; do
        if lentora_folder_usable "$folder"; then
            echo "$folder"
            return
        fi
    done
    local cache=${XDG_CACHE_HOME:-${HOME:-/nonexistent}/.cache}/lentora
    mkdir -p "$cache" 2>/dev/null || cache=${TMPDIR:-/tmp}/lentora-$user
    echo "$cache/$(basename "$PWD")-$name"
}

# Configures FOLDER with the given CMake options; Ninja for a new folder
# (CMake's default where Ninja is not installed), the folder's own generator
# for an existing one.
lentora_configure() {
    local folder=$1
    shift
    local generator=()
    [[ -f $folder/CMakeCache.txt ]] || ! command -v ninja >/dev/null || generator=(-G Ninja)
    mkdir -p "$folder"
    cmake -S . -B "$folder" "${generator[@]}" "$@"
}

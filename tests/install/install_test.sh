#!/usr/bin/env bash
# The installation as a user and a library user meet it.
#
#   install_test.sh prefix  <build> <this folder> <cc> <c++> [compile flags]
#     installs the build into a temporary prefix, builds programs against the
#     installed headers and libraries with pkg-config and runs them, validates
#     the desktop file and metainfo, then moves the prefix elsewhere and starts
#     the program (in demo mode, on an Xvfb server of its own) and the tools
#     from there.
#   install_test.sh package <build>
#     builds the Debian package with cpack and checks its file list, its
#     dependencies, that no binary carries a run path, and lintian.
set -euo pipefail

mode=${1:?mode}
build=$(cd "${2:?build folder}" && pwd)
version=1.4.7.645
app_id=org.pellumo.Pellumo
multiarch=x86_64-linux-gnu

# The program gets an X server of its own, so that its window never covers or
# takes the focus from the windows of suites running at the same time.
if [[ $mode == prefix && -z ${PELLUMO_INSTALL_TEST_X:-} ]]; then
    PELLUMO_INSTALL_TEST_X=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pellumo-install.XXXXXX")
program_group=
cleanup() {
    if [[ -n $program_group ]]; then
        kill -TERM -- "-$program_group" 2>/dev/null || true
        wait "$program_group" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
ok() { echo "ok: $*"; }

# The text must appear in the file.
expect_in() {
    local text=$1 file=$2 what=$3
    grep -qF -- "$text" "$file" || {
        cat "$file" >&2
        fail "$what: '$text' missing"
    }
}

test_prefix() {
    local here=$3 cc=$4 cxx=$5 flags=${6:-}
    local prefix=$work/prefix
    local libdir=$prefix/lib/$multiarch

    cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || {
        cat "$work/install.log" >&2
        fail "cmake --install"
    }
    for file in bin/Pellumo bin/lensbridge_tool bin/sensorlink_tool libexec/pellumo/box_simulator \
        lib/$multiarch/liblensbridge.so.1 lib/$multiarch/libsensorlink.so.1 lib/$multiarch/libVexel.so.1 \
        share/pellumo/fonts/fzht.ttf share/pellumo/images/recording.png \
        share/applications/$app_id.desktop share/metainfo/$app_id.metainfo.xml \
        share/icons/hicolor/48x48/apps/$app_id.png share/icons/hicolor/scalable/apps/$app_id.svg \
        share/man/man1/Pellumo.1.gz lib/udev/rules.d/70-pellumo-sensorlink.rules; do
        [[ -e $prefix/$file ]] || fail "not installed: $file"
    done
    [[ ! -e $prefix/share/pellumo/box_simulator ]] || fail "helper program installed under share"
    ok "installed layout"

    # Every public header compiles on its own with only the installed include
    # folder; the SDK's header also as C.
    local include=$prefix/include/pellumo
    for header in camera/CMTypes.h camera/CWImage.h camera/CMCameraBase.h camera/LensbridgeExport.h \
        camera/factory/CMFactory.h usbsdk/Vexel.h usbsdk/SensorlinkExport.h; do
        echo "#include <$header>" | "$cxx" -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I"$include" -x c++ - ||
            fail "$header is not self-contained"
    done
    echo "#include <usbsdk/Vexel.h>" | "$cc" -std=c11 -fsyntax-only -Wall -Werror -I"$include" -x c - ||
        fail "usbsdk/Vexel.h does not compile as C"
    ok "public headers self-contained"

    # Library users: pkg-config finds the modules; their programs build and run.
    export PKG_CONFIG_PATH=$libdir/pkgconfig
    [[ $(pkg-config --modversion lensbridge sensorlink vexel | sort -u) == "$version" ]] ||
        fail "pkg-config versions: $(pkg-config --modversion lensbridge sensorlink vexel)"
    # shellcheck disable=SC2046,SC2086 # pkg-config output and the flags are word lists
    "$cxx" -std=c++17 -Wall -Wextra -Werror $flags $(pkg-config --cflags lensbridge sensorlink) \
        "$here/list_cameras.cpp" -o "$work/list_cameras" $(pkg-config --libs lensbridge sensorlink) \
        -Wl,-rpath,"$(pkg-config --variable=libdir lensbridge)" || fail "list_cameras does not build"
    # shellcheck disable=SC2046,SC2086
    "$cc" -std=c11 -Wall -Werror $flags $(pkg-config --cflags vexel) "$here/search_cameras.c" \
        -o "$work/search_cameras" $(pkg-config --libs vexel) -Wl,-rpath,"$(pkg-config --variable=libdir vexel)" ||
        fail "search_cameras does not build"
    SENSORLINK_EMULATE=2 PELLUMO_DEBUG_LOG=off "$work/list_cameras" >"$work/list_cameras.out" 2>&1 ||
        fail "list_cameras: $(cat "$work/list_cameras.out")"
    expect_in "sdk cameras: 2" "$work/list_cameras.out" "SDK search"
    expect_in "SENSORLINK, 2 camera(s)" "$work/list_cameras.out" "lensbridge listing"
    expect_in "init 0, 9 preview sizes, format YUYV" "$work/list_cameras.out" "camera opened"
    SENSORLINK_EMULATE=3 PELLUMO_DEBUG_LOG=off "$work/search_cameras" >"$work/search_cameras.out" 2>&1 ||
        fail "search_cameras: $(cat "$work/search_cameras.out")"
    expect_in "vexel cameras: 3" "$work/search_cameras.out" "Vexel search from C"
    ok "programs built with pkg-config against the installed libraries"

    desktop-file-validate "$prefix/share/applications/$app_id.desktop" || fail "desktop-file-validate"
    appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" >"$work/appstream.out" 2>&1 || {
        cat "$work/appstream.out" >&2
        fail "appstreamcli validate"
    }
    expect_in "Icon=$app_id" "$prefix/share/applications/$app_id.desktop" "desktop file icon"
    expect_in "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" \
        "$prefix/share/metainfo/$app_id.metainfo.xml" "metainfo launchable"
    zcat "$prefix/share/man/man1/Pellumo.1.gz" >"$work/Pellumo.1"
    expect_in "demo" "$work/Pellumo.1" "man page made from --help"
    ok "desktop file, metainfo and man page"

    # Any prefix works: the installation moved elsewhere still runs.
    local moved=$work/moved
    mv "$prefix" "$moved"

    "$moved/bin/Pellumo" --version >"$work/version.out"
    [[ $(cat "$work/version.out") == "Pellumo $version" ]] || fail "--version printed '$(cat "$work/version.out")'"
    env -u DISPLAY -u WAYLAND_DISPLAY "$moved/bin/Pellumo" --help >"$work/help.out"
    expect_in "--demo" "$work/help.out" "--help without a display"
    ok "--version and --help"

    SENSORLINK_EMULATE=2 PELLUMO_DEBUG_LOG=off "$moved/bin/lensbridge_tool" list >"$work/tool.out" 2>&1 ||
        fail "lensbridge_tool list: $(cat "$work/tool.out")"
    expect_in "SENSORLINK (type 2), 2 camera(s)" "$work/tool.out" "lensbridge_tool list"
    SENSORLINK_EMULATE=2 PELLUMO_DEBUG_LOG=off "$moved/bin/sensorlink_tool" list >"$work/sdk_tool.out" 2>&1 ||
        fail "sensorlink_tool list: $(cat "$work/sdk_tool.out")"
    expect_in "2 camera(s)" "$work/sdk_tool.out" "sensorlink_tool list"
    "$moved/libexec/pellumo/box_simulator" --help >"$work/box.out" 2>&1 || fail "box_simulator --help"
    ok "tools list emulated cameras"

    # The program starts in demo mode into its main window on the X display,
    # with a fresh home: its libraries come from the installation, its label
    # font from share/pellumo, its box simulator from libexec/pellumo.
    local home=$work/home
    mkdir -m 700 "$home"
    setsid env -u QT_QPA_PLATFORM -u PELLUMO_DEBUG_LOG -u SENSORLINK_EMULATE -u PELLUMO_BOX_SCAN_HOSTS \
        HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home" \
        "$moved/bin/Pellumo" --demo >"$work/program.out" 2>"$work/program.err" &
    program_group=$!
    local pid=$program_group font=$moved/share/pellumo/fonts/fzht.ttf waited=0
    until grep -q "main window shown" "$work/program.err" && grep -qF "$font" "/proc/$pid/maps"; do
        kill -0 "$pid" 2>/dev/null || {
            cat "$work/program.err" >&2
            fail "Pellumo ended before showing its main window"
        }
        ((waited < 900)) || {
            cat "$work/program.err" >&2
            fail "no main window with the label font from $font after 90 s"
        }
        sleep 0.1
        waited=$((waited + 1))
    done
    if grep "liblensbridge.so.1" "/proc/$pid/maps" | grep -vqF "$moved/lib/$multiarch/"; then
        fail "liblensbridge loaded from outside the installation: $(grep liblensbridge "/proc/$pid/maps" | head -1)"
    fi
    expect_in "demo: box simulator at 127.0.0.1:" "$work/program.err" "demo mode's box simulator"
    local child helpers=""
    for child in $(pgrep -P "$pid"); do
        helpers+="$(readlink "/proc/$child/exe") "
    done
    [[ $helpers == *"$moved/libexec/pellumo/box_simulator "* ]] || fail "box simulator children: '$helpers'"
    if grep -E "Failed to load|AddressSanitizer|runtime error" "$work/program.err"; then
        fail "Pellumo reported errors"
    fi
    kill -TERM -- "-$program_group"
    wait "$program_group" 2>/dev/null || true
    program_group=
    ok "Pellumo --demo started from the moved installation: $(grep "main window shown" "$work/program.err")"
}

test_package() {
    local out=$work/package
    # gzip instead of the package's xz: the same contents, packed in a third of the time.
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip \
        >"$work/cpack.log" 2>&1 || {
        cat "$work/cpack.log" >&2
        fail "cpack -G DEB"
    }
    # One package per part, as Debian splits them.
    local name deb
    declare -A debs
    for name in pellumo liblensbridge1 libsensorlink1 libvexel1 pellumo-dev; do
        deb=$out/${name}_${version}_amd64.deb
        [[ -f $deb ]] || fail "no $deb ($(ls "$out"))"
        [[ $(dpkg-deb -f "$deb" Package) == "$name" ]] || fail "$deb names $(dpkg-deb -f "$deb" Package)"
        [[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "$name version $(dpkg-deb -f "$deb" Version)"
        debs[$name]=$deb
        dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' >"$work/files.$name"
        dpkg-deb -x "$deb" "$work/root"
    done
    [[ $(find "$out" -maxdepth 1 -name '*.deb' | wc -l) == 5 ]] || fail "other packages: $(ls "$out")"

    # Dependencies: system libraries computed from the binaries, the sibling
    # packages at exactly this version, helpers only recommended.
    expect_field() { # package field text
        local value
        value=$(dpkg-deb -f "${debs[$1]}" "$2")
        [[ $value == *"$3"* ]] || fail "$1 $2 lacks '$3': $value"
    }
    refuse_field() {
        local value
        value=$(dpkg-deb -f "${debs[$1]}" "$2")
        [[ $value != *"$3"* ]] || fail "$1 $2 has '$3': $value"
    }
    for needed in fonts-wqy-microhei libqt6widgets6 libusb-1.0-0 libavcodec libqt6svg6 \
        "liblensbridge1 (= $version)" "libsensorlink1 (= $version)"; do
        expect_field pellumo Depends "$needed"
    done
    refuse_field pellumo Depends libgl1-mesa-dri
    expect_field pellumo Recommends libgl1-mesa-dri
    expect_field pellumo Recommends xdg-utils
    expect_field liblensbridge1 Depends "libsensorlink1 (= $version)"
    expect_field libsensorlink1 Depends libusb-1.0-0
    expect_field libvexel1 Depends libusb-1.0-0
    for lib in liblensbridge1 libsensorlink1 libvexel1; do
        expect_field pellumo-dev Depends "$lib (= $version)"
        expect_field $lib Section libs
    done
    expect_field pellumo-dev Section libdevel
    ok "five packages, their dependencies"

    # Each file in the package it belongs to.
    expect_files() { # package files...
        local package=$1 file
        shift
        for file in "$@"; do
            grep -qxF "$file" "$work/files.$package" || fail "$package lacks $file"
        done
    }
    expect_files pellumo /usr/bin/Pellumo /usr/bin/lensbridge_tool /usr/bin/sensorlink_tool \
        /usr/libexec/pellumo/box_simulator \
        /usr/share/applications/$app_id.desktop /usr/share/metainfo/$app_id.metainfo.xml \
        /usr/share/icons/hicolor/256x256/apps/$app_id.png /usr/share/icons/hicolor/scalable/apps/$app_id.svg \
        /lib/udev/rules.d/70-pellumo-sensorlink.rules /usr/share/man/man1/Pellumo.1.gz \
        /usr/share/pellumo/fonts/fzht.ttf /usr/share/pellumo/images/recording.png \
        /usr/share/doc/pellumo/copyright /usr/share/doc/pellumo/README.md
    expect_files liblensbridge1 /usr/lib/$multiarch/liblensbridge.so.1 /usr/lib/$multiarch/liblensbridge.so.$version \
        /usr/share/doc/liblensbridge1/copyright
    expect_files libsensorlink1 /usr/lib/$multiarch/libsensorlink.so.1 /usr/share/doc/libsensorlink1/copyright
    expect_files libvexel1 /usr/lib/$multiarch/libVexel.so.1 /usr/share/doc/libvexel1/copyright
    expect_files pellumo-dev /usr/lib/$multiarch/liblensbridge.so /usr/lib/$multiarch/libsensorlink.so \
        /usr/lib/$multiarch/libVexel.so \
        /usr/lib/$multiarch/pkgconfig/lensbridge.pc /usr/lib/$multiarch/pkgconfig/sensorlink.pc \
        /usr/lib/$multiarch/pkgconfig/vexel.pc \
        /usr/include/pellumo/camera/factory/CMFactory.h /usr/include/pellumo/camera/CMCameraBase.h \
        /usr/include/pellumo/usbsdk/Vexel.h /usr/share/doc/pellumo-dev/copyright
    if grep -h '\.so$\|/include/\|\.pc$' "$work/files.pellumo" "$work/files.liblensbridge1" \
        "$work/files.libsensorlink1" "$work/files.libvexel1"; then
        fail "development files outside pellumo-dev"
    fi
    if grep -h '\.so\.' "$work/files.pellumo" "$work/files.pellumo-dev"; then
        fail "runtime libraries outside their packages"
    fi
    # The shipped rule gives access to real cameras only.
    if grep -q '5ec5' "$work/root/lib/udev/rules.d/70-pellumo-sensorlink.rules"; then
        fail "the udev rule names the emulated camera"
    fi
    ok "package file lists"

    grep -q "prefix=/usr$" "$work/root/usr/lib/$multiarch/pkgconfig/lensbridge.pc" || fail "lensbridge.pc prefix"
    local elf
    while IFS= read -r elf; do
        if readelf -d "$elf" 2>/dev/null | grep -qE "RPATH|RUNPATH"; then
            fail "$elf carries a run path"
        fi
    done < <(find "$work/root" -type f \( -perm -u+x -o -name '*.so*' \))
    ok "no run path in the packages"

    # The stripped binaries of the packages run (their libraries given by
    # hand, as the system's search path would give them once installed).
    local usr=$work/root/usr
    [[ $(LD_LIBRARY_PATH=$usr/lib/$multiarch "$usr/bin/Pellumo" --version) == "Pellumo $version" ]] ||
        fail "the package's Pellumo --version"
    SENSORLINK_EMULATE=1 PELLUMO_DEBUG_LOG=off LD_LIBRARY_PATH=$usr/lib/$multiarch "$usr/bin/lensbridge_tool" list \
        >"$work/package_tool.out" 2>&1 || fail "the package's lensbridge_tool: $(cat "$work/package_tool.out")"
    expect_in "SENSORLINK (type 2), 1 camera(s)" "$work/package_tool.out" "the package's lensbridge_tool list"
    ok "the package's programs run"

    # The man page of the program is the same in every build of a release.
    zcat "$usr/share/man/man1/Pellumo.1.gz" | grep -q '^\.TH .*"March 2018"' ||
        fail "Pellumo.1 is not dated by the release: $(zcat "$usr/share/man/man1/Pellumo.1.gz" | grep '^\.TH')"

    lintian --fail-on error --no-tag-display-limit "${debs[@]}" >"$work/lintian.out" 2>&1 || {
        cat "$work/lintian.out" >&2
        fail "lintian reports errors"
    }
    local tag
    for tag in package-name-doesnt-match-sonames link-to-shared-library-in-wrong-package; do
        if grep -q "$tag" "$work/lintian.out"; then
            cat "$work/lintian.out" >&2
            fail "lintian: $tag"
        fi
    done
    ok "lintian: no errors ($(grep -c '^W:' "$work/lintian.out" || true) warnings)"
    if [[ -n ${PELLUMO_LINTIAN_OUT:-} ]]; then cp "$work/lintian.out" "$PELLUMO_LINTIAN_OUT"; fi
}

case $mode in
prefix) test_prefix "$@" ;;
package) test_package "$@" ;;
*) fail "unknown mode $mode" ;;
esac

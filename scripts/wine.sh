# Sourced by scripts/test and scripts/screenshots: one Wine prefix per build tree, made once and
# reused, set up so that dialogs look as on Windows and close quickly under Xvfb.
#
#   wine_env DIR      exports WINEPREFIX=DIR/wineprefix and the variables every Wine run needs
#   wine_prefix DIR   makes that prefix unless it is ready
#   stop_wine         ends the prefix's wineserver
#   runs_32bit        whether this kernel executes 32-bit programs at all

# The prefixes are 64-bit, made by wine64; the 32-bit loader (package wine32:i386) runs 32-bit
# programs in them as 64-bit Windows does (WoW64).
wine=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver
# Bumped whenever the set-up below changes, so that older prefixes are made again (3: made
# where the 32-bit loader is installed, so that they hold Wine's 32-bit system DLLs).
wine_prefix_version=3

wine_env() {
    # mscoree and mshtml off: the prefix set-up would otherwise ask for Mono and Gecko.
    export WINEPREFIX=$1/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

wine_prefix() {
    local dir=$1 marker
    wine_env "$dir"
    marker=$WINEPREFIX/.fennex-ready
    [[ -f $marker && $(<"$marker") == "$wine_prefix_version" ]] && return 0
    echo "-- creating the Wine prefix"
    rm -rf "$WINEPREFIX"
    local key='HKCU\Software\Wine\X11 Driver'
    # Time-outs throughout: a stuck wineserver must not hang the run.
    # Decorated=N: Wine draws the frames and captions that Xvfb has no window manager for.
    # Managed=N: a managed window takes about 2 s to close, an unmanaged one 0.1 s.
    if ! { timeout 300 "$wine" wineboot -i &&
        timeout 60 "$wine" reg add "$key" /v Decorated /d N /f &&
        timeout 60 "$wine" reg add "$key" /v Managed /d N /f &&
        timeout 120 "$wineserver" -w; } >"$dir/wineboot.log" 2>&1; then
        tail -20 "$dir/wineboot.log"
        return 1
    fi
    # Wine's own fonts, so that "MS Sans Serif" is the real bitmap font and dialogs get their
    # Windows sizes rather than those of a wider stand-in.
    if compgen -G '/usr/share/wine/fonts/*' >/dev/null; then
        cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
    else
        echo "   /usr/share/wine/fonts is empty (package fonts-wine): dialogs use a stand-in font"
    fi
    echo "$wine_prefix_version" >"$marker"
}

# Some kernels (sandboxes without IA-32 emulation) refuse every 32-bit program with "Exec format
# error" (status 126). There the 32-bit runs cannot happen whatever is installed; any other
# failure of the loader is a fault of its own and is left to the run that meets it.
runs_32bit() {
    local status=0
    "$wine32" --version >/dev/null 2>&1 || status=$?
    ((status != 126))
}

stop_wine() {
    if [[ -n ${WINEPREFIX:-} && -x $wineserver ]]; then
        timeout 30 "$wineserver" -k >/dev/null 2>&1 || true
    fi
}

# Turns the BMP files that the dialog test captured in DIR into PNG files in OUT.
screenshots_to_png() {
    local dir=$1 out=$2 bmp
    mkdir -p "$out"
    for bmp in "$dir"/*.bmp; do
        [[ -e $bmp ]] || continue
        convert "$bmp" "$out/$(basename "${bmp%.bmp}").png"
    done
}

# The Windows name of a Unix path (Wine maps the root as drive Z:).
winepath_of() {
    local path=$1
    printf 'Z:%s' "${path//\//\\}"
}

#!/bin/sh
# Builds the example plug-in outside the source tree against the installed
# SDK alone (header and pkg-config file), in C and the header from C++.
# usage: sdk-check.sh <build-dir> <source-dir> <work-dir>
set -eu
build=$1
source=$2
work=$3

rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --component sdk --prefix "$work/prefix" >/dev/null
pc=$(find "$work/prefix" -name kavel-plugin.pc)
PKG_CONFIG_PATH=$(dirname "$pc")
export PKG_CONFIG_PATH
cflags=$(pkg-config --cflags kavel-plugin)

cp "$source/plugins/example/example.c" "$source/plugins/example/example.map" "$work/"
cd "$work"
cc -std=c11 -Wall -Wextra -Werror -pedantic -shared -fPIC -fvisibility=hidden $cflags \
    -Wl,--version-script=example.map -o Example.so example.c

exports=$(readelf --dyn-syms -W Example.so | awk '$7 != "UND" && $4 == "FUNC" { print $8 }' | sort | tr '\n' ' ')
if [ "$exports" != "ProcessRCmd ProcessRIn ProcessTCmd ProcessTOut Setup " ]; then
    echo "unexpected exports: $exports" >&2
    exit 1
fi

# The plug-in the README shows, built with the command line and the version
# script of docs/plugins.md, exactly as written there.
block() {  # file, fence info, text the block contains
    awk -v info="$2" -v pat="$3" '
        /^```/ {
            if (open) { if (take && buf ~ pat) { printf "%s", buf; found = 1; exit } open = 0; next }
            open = 1; take = substr($0, 4) == info; buf = ""; next
        }
        open && take { buf = buf $0 "\n" }
        END { exit !found }' "$1"
}
block "$source/README.md" c ProcessTOut >my_plugin.c
block "$source/docs/plugins.md" "" "global:" >exports.map
block "$source/docs/plugins.md" sh "pkg-config" >build-docs.sh
sh -e build-docs.sh
readelf --dyn-syms -W MyPlugin.so | awk '$4 == "FUNC" && $7 != "UND" { print $8 }' | grep -qx ProcessTOut

cat >header.cpp <<'CPP'
#include <kavel/plugin.h>
int main() {
    alignas(64) KavelClientState state{};
    kavel_request_command(&state);
    return kavel_options(&state) == KAVEL_PLUGIN_COMMAND_REQUEST && *KAVEL_TEXT(&state, nick) == 0 ? 0 : 1;
}
CPP
c++ -std=c++17 -Wall -Wextra -Werror -pedantic $cflags -o header header.cpp
./header
echo "SDK: example built against $(pkg-config --modversion kavel-plugin)"

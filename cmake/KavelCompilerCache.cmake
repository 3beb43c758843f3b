# ccache for every build tree, when it is installed. Paths are hashed
# relative to the source folder and the build folder is left out of the
# hash, so trees with the same flags share their objects: the package tree
# compiles nothing the default tree has already compiled. The test programs'
# precompiled header needs the sloppiness. A launcher given on the command
# line wins.
find_program(KAVEL_CCACHE ccache)
if(KAVEL_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    set(launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR} CCACHE_NOHASHDIR=1
                 CCACHE_SLOPPINESS=pch_defines,time_macros
                 ${KAVEL_CCACHE})
    set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
endif()

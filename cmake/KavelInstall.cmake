# Where things install (GNUInstallDirs), and the convention for plug-ins:
# every plug-in folder under plugins/ calls kavel_plugin_install(<target>)
# once, and the library lands in KAVEL_PLUGIN_INSTALL_DIR, from where the
# launcher links it into each user's plugins/ folder.
include(GNUInstallDirs)

set(KAVEL_PLUGIN_INSTALL_DIR "lib/kavel/plugins" CACHE STRING
    "Folder (below the prefix) of the shipped plug-in libraries")
set(KAVEL_PROGRAM_INSTALL_DIR "${CMAKE_INSTALL_LIBEXECDIR}/kavel" CACHE STRING
    "Folder (below the prefix) of the client program that the kavel launcher starts")

# kavel_plugin_install(<target>): installs the plug-in library and records
# it, so that the install test expects its file.
function(kavel_plugin_install target)
    install(TARGETS ${target} LIBRARY DESTINATION ${KAVEL_PLUGIN_INSTALL_DIR})
    set_property(GLOBAL APPEND PROPERTY KAVEL_INSTALLED_PLUGINS ${target})
endfunction()

# kavel_expect_installed(<path below the prefix>...): whoever adds an install
# rule names its files here; the install test fails when one of them is
# missing, or when anything not named gets installed.
function(kavel_expect_installed)
    set_property(GLOBAL APPEND PROPERTY KAVEL_EXPECTED_FILES ${ARGN})
endfunction()

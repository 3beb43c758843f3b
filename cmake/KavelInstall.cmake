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
    kavel_install_debug_split(${target} ${KAVEL_PLUGIN_INSTALL_DIR})
    set_property(GLOBAL APPEND PROPERTY KAVEL_INSTALLED_PLUGINS ${target})
endfunction()

# kavel_install_debug_split(<target> <folder below the prefix>): call right
# after installing the target there. Moves the installed file's debug
# information into <folder>/.debug/<file>.debug and links the two by a
# .gnu_debuglink. The crash handler reads source files and lines from it
# (libdw looks in .debug next to the program), and so do gdb and
# eu-addr2line; the program itself gets smaller. Install steps that strip
# everything (CPACK_STRIP_FILES, install/strip) must stay off, or there is
# nothing left to split.
function(kavel_install_debug_split target dir)
    set(file "$<TARGET_FILE_NAME:${target}>")
    install(CODE "
        set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${dir}\")
        file(MAKE_DIRECTORY \"\${dir}/.debug\")
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --only-keep-debug
                                \"\${dir}/${file}\" \"\${dir}/.debug/${file}.debug\"
                        COMMAND_ERROR_IS_FATAL ANY)
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --strip-debug
                                --add-gnu-debuglink=\${dir}/.debug/${file}.debug
                                \"\${dir}/${file}\"
                        WORKING_DIRECTORY \"\${dir}\"
                        COMMAND_ERROR_IS_FATAL ANY)
        file(CHMOD \"\${dir}/.debug/${file}.debug\" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    ")
    set_property(GLOBAL APPEND PROPERTY KAVEL_DEBUG_FILES "${dir}/.debug/${file}.debug")
endfunction()

# kavel_install_strip_debug(<target> <folder below the prefix>): for a
# program without a crash report (quarnd), whose debug information would
# only make the package larger; its symbol table stays.
function(kavel_install_strip_debug target dir)
    set(file "$<TARGET_FILE_NAME:${target}>")
    install(CODE "
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --strip-debug
                                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${dir}/${file}\"
                        COMMAND_ERROR_IS_FATAL ANY)
    ")
endfunction()

# kavel_expect_installed(<path below the prefix>...): whoever adds an install
# rule names its files here; the install test fails when one of them is
# missing, or when anything not named gets installed.
function(kavel_expect_installed)
    set_property(GLOBAL APPEND PROPERTY KAVEL_EXPECTED_FILES ${ARGN})
endfunction()

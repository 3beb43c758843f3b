# Warnings are errors for everything we write; sanitizers and fuzzing
# instrumentation are switched on per build tree (see CMakePresets.json).

if(KAVEL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# ThreadSanitizer: the plug-in tests, where Setup threads meet the main
# thread (`make tsan`).
option(KAVEL_TSAN "Build with ThreadSanitizer" OFF)
if(KAVEL_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(KAVEL_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "KAVEL_FUZZ needs clang (configure with the 'fuzz' preset)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

function(kavel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-missing-field-initializers)
endfunction()

# kavel_glob(<var> <dir>...) collects the C++ sources below the given folders.
function(kavel_glob var)
    set(files)
    foreach(dir ${ARGN})
        file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp)
        list(APPEND files ${found})
    endforeach()
    set(${var} ${files} PARENT_SCOPE)
endfunction()

# Compiler settings shared by every target of the project, and the helpers
# that declare libraries, tests and fuzz targets.

# Our own warnings; third-party code (GoogleTest) is built without them.
add_library(orva_options INTERFACE)
target_compile_options(orva_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wnon-virtual-dtor -Werror)
# Files that CMake generates from the sources (such as resources/version.h)
# go to ORVA_GENERATED_DIR and are included by the same relative names.
set(ORVA_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
target_include_directories(orva_options INTERFACE ${PROJECT_SOURCE_DIR} ${ORVA_GENERATED_DIR})

if(WIN32)
    target_compile_definitions(orva_options INTERFACE
        UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
    # Every kilobyte of the executable is downloaded by every new user: keep
    # functions and data in sections of their own so that the linker drops
    # what nothing uses, and strip the symbols of size-optimised builds.
    add_compile_options(-ffunction-sections -fdata-sections)
    add_link_options(-Wl,--gc-sections $<$<CONFIG:MinSizeRel>:-s>)
    # Anyone who builds a commit with the same key gets the same bytes as the
    # published program, so its signature can be checked against the source
    # (scripts/build-setup.sh, tests/release/). The linker writes no time
    # stamp into the PE header, and the compiler records the source and build
    # folders by fixed names wherever it names a file (__FILE__, the debug
    # information of unstripped builds). GCC takes the last map that matches,
    # so the build folder, which may lie inside the source folder, comes last.
    add_link_options(-Wl,--no-insert-timestamp)
    add_compile_options(
        $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>
        $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>)
endif()

if(ORVA_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(ORVA_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "ORVA_FUZZ needs clang for libFuzzer; configure with CXX=clang++")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# orva_library(NAME SOURCES...): one static library per folder of the layout.
function(orva_library name)
    add_library(${name} STATIC ${ARGN})
    target_link_libraries(${name} PUBLIC orva_options)
endfunction()

# orva_test(NAME SOURCES... LIBRARIES libs... [NEEDS_DISPLAY] [NEEDS_SERVER])
# One test executable that runs as a single process (for Windows, one Wine
# start for all its cases). Under CTest every Windows test sees the run's
# virtual display; NEEDS_DISPLAY also gives it a display of its own when it is
# run by hand without one. NEEDS_SERVER runs it through
# tests/server/with-test-server.sh, which starts the local HTTP(S) test server
# around it; under Wine such tests share a prefix of their own, whose wine
# server runs inside the script's namespaces.
function(orva_test name)
    cmake_parse_arguments(ARG "NEEDS_DISPLAY;NEEDS_SERVER" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} orva_test_support GTest::gtest_main)
    set(environment)
    if(ARG_NEEDS_DISPLAY)
        list(APPEND environment "ORVA_NEEDS_DISPLAY=1")
    endif()
    if(ARG_NEEDS_SERVER)
        add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/server/with-test-server.sh
                                      $<TARGET_FILE:${name}>)
        orva_wine_test_properties(${name} PREFIX ${CMAKE_BINARY_DIR}/wineprefix-server
                                  ENVIRONMENT ${environment})
        # One server prefix: its tests must not stop each other's wine server.
        set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK orva_server_prefix)
    else()
        add_test(NAME ${name} COMMAND ${name})
        orva_wine_test_properties(${name} ENVIRONMENT ${environment})
    endif()
endfunction()

# orva_fuzzer(NAME SOURCE LIBRARIES libs... SEEDS dir): a libFuzzer target and a
# short smoke run of it, so that the target keeps building and running.
function(orva_fuzzer name)
    if(NOT ORVA_FUZZ)
        return()
    endif()
    cmake_parse_arguments(ARG "" "SEEDS" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
    file(MAKE_DIRECTORY ${corpus})
    # New inputs go to the build tree's corpus; the seeds are only read.
    add_test(NAME ${name}_smoke
             COMMAND ${name} -max_total_time=5 -max_len=8192 -timeout=10 -print_final_stats=1
                     ${corpus} ${ARG_SEEDS})
endfunction()

# orva_delay_load_library(NAME DLL DEF): an interface library NAME that links
# the functions listed in DEF (a module-definition file) from the system DLL
# DLL by delay-loading rather than through the import table. Windows looks for
# an imported DLL that is not a KnownDLL in the program's own folder first,
# where a planted copy would run its code before wWinMain; a delay-loaded one
# is loaded on first use, through the hook in app/system_libraries.cpp, from
# the system folder only. A function the code calls but DEF does not list is
# a link error (an undefined __imp_ name): add it to DEF.
function(orva_delay_load_library name dll def)
    find_program(ORVA_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
    set(archive ${CMAKE_CURRENT_BINARY_DIR}/lib${name}.a)
    add_custom_command(OUTPUT ${archive}
                       COMMAND ${ORVA_DLLTOOL} --input-def ${def} --dllname ${dll}
                               --output-delaylib ${archive}
                       DEPENDS ${def}
                       COMMENT "Delay-load library for ${dll}")
    add_custom_target(${name}_archive DEPENDS ${archive})
    add_library(${name} INTERFACE)
    add_dependencies(${name} ${name}_archive)
    target_link_libraries(${name} INTERFACE ${archive})
endfunction()

# GoogleTest and the project's small test support library.

if(CMAKE_CROSSCOMPILING)
    # Debian's prebuilt GoogleTest is for the host; build it from source with
    # the cross compiler. SYSTEM keeps our warnings out of its headers.
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
    find_package(GTest REQUIRED)
endif()

# Test data lives in the source tree. Wine shows the host's root as drive Z:.
set(ORVA_TEST_DATA_DIR ${PROJECT_SOURCE_DIR}/tests/data)
if(WIN32)
    set(ORVA_TEST_DATA_DIR "Z:${ORVA_TEST_DATA_DIR}")
endif()

add_library(orva_test_support STATIC ${PROJECT_SOURCE_DIR}/tests/support/test_data.cpp
                                      ${PROJECT_SOURCE_DIR}/tests/support/signed_fixtures.cpp
                                      ${PROJECT_SOURCE_DIR}/tests/support/temp_folder.cpp
                                      ${PROJECT_SOURCE_DIR}/tests/support/test_server.cpp)
target_link_libraries(orva_test_support PUBLIC orva_options orva_json orva_signing GTest::gtest)
target_compile_definitions(orva_test_support PRIVATE ORVA_TEST_DATA_DIR="${ORVA_TEST_DATA_DIR}")

if(WIN32)
    # A message-only window that records what the worker posts.
    add_library(orva_test_message_recorder STATIC
                ${PROJECT_SOURCE_DIR}/tests/support/message_recorder.cpp)
    target_link_libraries(orva_test_message_recorder PUBLIC orva_options orva_app)
    # One virtual X server for every Wine process of a test run; see
    # cmake/virtual-display.sh for why one and not one per test.
    set(ORVA_DISPLAY_DIR ${CMAKE_BINARY_DIR}/virtual-display)
    add_test(NAME virtual_display_start
             COMMAND ${PROJECT_SOURCE_DIR}/cmake/virtual-display.sh start ${ORVA_DISPLAY_DIR})
    add_test(NAME virtual_display_stop
             COMMAND ${PROJECT_SOURCE_DIR}/cmake/virtual-display.sh stop ${ORVA_DISPLAY_DIR})
    set_tests_properties(virtual_display_start PROPERTIES FIXTURES_SETUP virtual_display)
    set_tests_properties(virtual_display_stop PROPERTIES FIXTURES_CLEANUP virtual_display)
endif()

# orva_wine_test_properties(TEST [PREFIX dir] [ENVIRONMENT vars...] [FIXTURES fixtures...])
# What every test run under Wine needs: the run's display, and a prefix set up
# by cmake/wine-prefix-setup.sh (the build tree's own, or PREFIX). Adds the
# test's own environment and fixtures. A test with ORVA_NEEDS_DISPLAY=1 among
# them never runs alongside another such test.
function(orva_wine_test_properties test)
    cmake_parse_arguments(ARG "" "PREFIX" "ENVIRONMENT;FIXTURES" ${ARGN})
    if(WIN32)
        list(APPEND ARG_ENVIRONMENT "ORVA_DISPLAY_FILE=${ORVA_DISPLAY_DIR}/display")
        list(APPEND ARG_FIXTURES virtual_display)
        if(ARG_PREFIX)
            list(APPEND ARG_ENVIRONMENT "WINEPREFIX=${ARG_PREFIX}")
            get_filename_component(prefix_name ${ARG_PREFIX} NAME)
        else()
            set(prefix_name wineprefix)
        endif()
        if(NOT test STREQUAL "${prefix_name}_setup")
            list(APPEND ARG_FIXTURES ${prefix_name})
        endif()
    endif()
    if(ARG_ENVIRONMENT)
        set_tests_properties(${test} PROPERTIES ENVIRONMENT "${ARG_ENVIRONMENT}")
    endif()
    # The keyboard focus belongs to the active window, and a window that a
    # test running alongside shows on the shared display takes the
    # activation, so the focus of another test's window is lost between two
    # of its steps. The tests that show windows take turns.
    if("ORVA_NEEDS_DISPLAY=1" IN_LIST ARG_ENVIRONMENT)
        set_property(TEST ${test} APPEND PROPERTY RESOURCE_LOCK orva_display)
    endif()
    if(ARG_FIXTURES)
        set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED "${ARG_FIXTURES}")
    endif()
endfunction()

# orva_wine_prefix(DIR [DPI]): a CTest fixture named after the prefix folder
# that prepares the Wine prefix DIR (see cmake/wine-prefix-setup.sh) before
# the tests that use it.
function(orva_wine_prefix dir)
    get_filename_component(name ${dir} NAME)
    add_test(NAME ${name}_setup COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-prefix-setup.sh ${ARGN})
    orva_wine_test_properties(${name}_setup PREFIX ${dir})
    set_tests_properties(${name}_setup PROPERTIES FIXTURES_SETUP ${name})
endfunction()

if(WIN32)
    # The build tree's own prefix, used by every Windows test unless it names
    # another, and the one of the tests that run with the local test server.
    orva_wine_prefix(${CMAKE_BINARY_DIR}/wineprefix)
    orva_wine_prefix(${CMAKE_BINARY_DIR}/wineprefix-server)
endif()

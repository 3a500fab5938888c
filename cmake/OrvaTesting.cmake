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

add_library(orva_test_support STATIC ${PROJECT_SOURCE_DIR}/tests/support/test_data.cpp)
target_link_libraries(orva_test_support PUBLIC orva_options GTest::gtest)
target_compile_definitions(orva_test_support PRIVATE ORVA_TEST_DATA_DIR="${ORVA_TEST_DATA_DIR}")

if(WIN32)
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

# orva_wine_test_properties(TEST [ENVIRONMENT vars...] [FIXTURES fixtures...]):
# what every test run under Wine needs (the run's display), plus its own.
function(orva_wine_test_properties test)
    cmake_parse_arguments(ARG "" "" "ENVIRONMENT;FIXTURES" ${ARGN})
    if(WIN32)
        list(APPEND ARG_ENVIRONMENT "ORVA_DISPLAY_FILE=${ORVA_DISPLAY_DIR}/display")
        list(APPEND ARG_FIXTURES virtual_display)
    endif()
    if(ARG_ENVIRONMENT)
        set_tests_properties(${test} PROPERTIES ENVIRONMENT "${ARG_ENVIRONMENT}")
    endif()
    if(ARG_FIXTURES)
        set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED "${ARG_FIXTURES}")
    endif()
endfunction()

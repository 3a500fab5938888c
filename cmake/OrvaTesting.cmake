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
                                      ${PROJECT_SOURCE_DIR}/tests/support/temp_folder.cpp
                                      ${PROJECT_SOURCE_DIR}/tests/support/test_server.cpp)
target_link_libraries(orva_test_support PUBLIC orva_options GTest::gtest)
target_compile_definitions(orva_test_support PRIVATE ORVA_TEST_DATA_DIR="${ORVA_TEST_DATA_DIR}")

if(WIN32)
    # A message-only window that records what the worker posts.
    add_library(orva_test_message_recorder STATIC
                ${PROJECT_SOURCE_DIR}/tests/support/message_recorder.cpp)
    target_link_libraries(orva_test_message_recorder PUBLIC orva_options orva_app_state)
endif()

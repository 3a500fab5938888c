# Checks a release floor the way configuration does, for the tests:
#   cmake -DVERSION=<version> -P cmake/check-minimum-version.cmake
include(${CMAKE_CURRENT_LIST_DIR}/OrvaMinimumVersion.cmake)
orva_check_minimum_version("${VERSION}" "ORVA_MINIMUM_VERSION")
message(STATUS "minimum version accepted")

# Checks a release key the way configuration does, for the tests:
#   cmake -DKEY=<hex> -P cmake/check-release-key.cmake
include(${CMAKE_CURRENT_LIST_DIR}/OrvaReleaseKey.cmake)
orva_check_product_release_key("${KEY}" "ORVA_RELEASE_PUBLIC_KEY")
message(STATUS "release key accepted")

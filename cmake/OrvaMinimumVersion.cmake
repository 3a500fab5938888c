# orva_check_minimum_version(VERSION WHAT): fails configuration with a plain
# message unless VERSION is a version the program reads (three parts of
# decimal digits separated by dots, each part at most 999999).
function(orva_check_minimum_version version what)
    set(ok FALSE)
    if(version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
        set(ok TRUE)
        foreach(part IN ITEMS "${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}" "${CMAKE_MATCH_3}")
            string(REGEX REPLACE "^0+([0-9])" "\\1" part "${part}")
            string(LENGTH "${part}" digits)
            if(digits GREATER 6)
                set(ok FALSE)
            endif()
        endforeach()
    endif()
    if(NOT ok)
        message(FATAL_ERROR
            "${what} must be a version such as 2.4.1: three numbers from 0 to 999999 "
            "separated by dots; got '${version}'")
    endif()
endfunction()

# cmake -DOBJDUMP=... -DEXE=... -P check-imports.cmake
#
# Fails unless every DLL in the import table of EXE is one Windows never
# loads from the program's own folder: a KnownDLL, or COMCTL32, which the
# program's manifest binds to the system's side-by-side copy. Anything else
# (WinHTTP, CNG) must be delay-loaded from the system folder, because a copy
# planted beside the program in a Downloads folder would run inside it.
cmake_minimum_required(VERSION 3.25)
set(allowed KERNEL32.dll USER32.dll GDI32.dll SHELL32.dll msvcrt.dll ADVAPI32.dll ole32.dll
            COMCTL32.dll)
string(TOLOWER "${allowed}" allowed)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} cannot read ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
if(NOT lines)
    message(FATAL_ERROR "${EXE}: no import table found")
endif()
set(refused "")
foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: *" "" name "${line}")
    string(STRIP "${name}" name)
    string(TOLOWER "${name}" lower)
    if(lower IN_LIST allowed)
        message(STATUS "imports ${name}")
    else()
        # A status line is never wrapped, so the name stays on the line that
        # says why it is refused, however long the paths around it are.
        list(APPEND refused "${name}")
        message(STATUS "refused ${name}: Windows may load it from the program's folder")
    endif()
endforeach()
if(refused)
    message(FATAL_ERROR "${EXE} imports DLLs that Windows may load from the program's folder; "
                        "delay-load them (orva_delay_load_library)")
endif()

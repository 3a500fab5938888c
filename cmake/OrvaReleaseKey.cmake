# orva_release_key_library(NAME HEX SOURCE): an object library that defines
# orva::kReleasePublicKey as the 64 bytes written in HEX (128 hexadecimal
# digits: X then Y, big-endian). SOURCE says where the key came from, for the
# generated file's header. The product links the library made from the
# ORVA_RELEASE_PUBLIC_KEY setting; tests link one made from the test key.
# An object library, because the signing library refers to the key: its
# object file is linked in whole, wherever it stands on the link line.

# Fails configuration with a plain message unless HEX is 128 hexadecimal digits.
function(orva_check_release_key hex what)
    string(LENGTH "${hex}" length)
    if(NOT length EQUAL 128 OR NOT hex MATCHES "^[0-9a-fA-F]+$")
        message(FATAL_ERROR
            "${what} must be the 64-byte P-256 public key as 128 hexadecimal digits "
            "(X then Y, as 'orva-release keygen' prints it); got ${length} characters: '${hex}'")
    endif()
endfunction()

# Fails configuration unless HEX is a key the shipped program may carry: a
# well-formed key that is not the committed TEST-ONLY key, whose private half
# is in the repository for anybody to sign with.
function(orva_check_product_release_key hex what)
    orva_check_release_key("${hex}" "${what}")
    file(READ ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../tests/data/keys/test-release-key.TEST-ONLY.pub.hex
         test_key)
    string(STRIP "${test_key}" test_key)
    string(TOLOWER "${test_key}" test_key)
    string(TOLOWER "${hex}" key)
    if(key STREQUAL test_key)
        message(FATAL_ERROR
            "${what} is the TEST-ONLY key from tests/data/keys, whose private half is public: "
            "a program built with it would start installers that anybody signed. Use your own "
            "key ('orva-release keygen' prints it).")
    endif()
endfunction()

function(orva_release_key_library name hex source)
    orva_check_release_key("${hex}" "${source}")
    set(bytes "")
    foreach(i RANGE 0 63)
        math(EXPR offset "${i} * 2")
        string(SUBSTRING "${hex}" ${offset} 2 byte)
        string(TOLOWER "${byte}" byte)
        math(EXPR column "${i} % 8")
        if(column EQUAL 0)
            string(APPEND bytes "    ")
        endif()
        string(APPEND bytes "0x${byte},")
        if(column EQUAL 7)
            string(APPEND bytes "\n")
        else()
            string(APPEND bytes " ")
        endif()
    endforeach()
    set(ORVA_KEY_SOURCE "${source}")
    set(ORVA_KEY_BYTES "${bytes}")
    configure_file(${PROJECT_SOURCE_DIR}/signing/release_public_key.cpp.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp @ONLY)
    add_library(${name} OBJECT ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
    target_link_libraries(${name} PUBLIC orva_options)
endfunction()

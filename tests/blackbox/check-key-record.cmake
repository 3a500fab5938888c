# cmake -DEXE=program.exe -DKEY=<128 hexadecimal digits> -P check-key-record.cmake
#
# The built program carries its release key as one record: the tag
# "orva-release-key/1:" (signing/release_signature.h), then the 64 key bytes,
# as "orva-release verify --program" reads it. Fails unless the tag stands
# exactly once and the bytes after it are KEY.
file(READ "${EXE}" program HEX)
string(HEX "orva-release-key/1:" tag)
string(FIND "${program}" "${tag}" first)
string(FIND "${program}" "${tag}" last REVERSE)
if(first EQUAL -1)
    message(FATAL_ERROR "${EXE} carries no release key record")
endif()
if(NOT first EQUAL last)
    message(FATAL_ERROR "${EXE} carries the release key tag more than once")
endif()
string(LENGTH "${tag}" tag_length)
math(EXPR key_at "${first} + ${tag_length}")
string(SUBSTRING "${program}" ${key_at} 128 carried)
string(TOLOWER "${KEY}" expected)
if(NOT carried STREQUAL expected)
    message(FATAL_ERROR "${EXE} carries the key ${carried}, not ${expected}")
endif()
message(STATUS "${EXE} carries the release key ${carried}")

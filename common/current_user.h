#pragma once

// The user the program runs as, read from the process's token. Windows only.

#include <string>

#include "common/bytes.h"

namespace orva {

struct CurrentUser {
    std::wstring sid;       // in string form ("S-1-5-21-..."); empty when it cannot be read
    Bytes sidBytes;         // the SID itself; empty likewise
    bool elevated = false;  // the token is elevated ("Run as administrator")
};

CurrentUser currentUser();

}  // namespace orva

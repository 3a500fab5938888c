#pragma once

namespace orva {

// One worker run: finds, fetches and checks the installer, reporting to the window by posting.
void download();

}  // namespace orva

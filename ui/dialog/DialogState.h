#pragma once
// The page the installer dialog shows. The numbers are fixed: the entry point tests for Failed.
#include <cstdint>

enum DialogState : std::int32_t {
    Ready = 0,       // welcome page, with or without the custom-path panel
    Installing = 1,  // progress page
    Failed = 2,      // failure page
    Finished = 3,    // finished page
};

#include "app/StringTable.h"

#include <windows.h>

namespace kav {

namespace {
constexpr int kResourceTextBytes = 260;
}

std::string ReadResourceString(unsigned id) {
    char buffer[kResourceTextBytes] = {};
    ::LoadStringA(::GetModuleHandleW(nullptr), id, buffer, kResourceTextBytes);
    return buffer;
}

}  // namespace kav

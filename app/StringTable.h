#pragma once
// The program's own string table, read as narrow text in the system's ANSI code page.
#include <string>

namespace kav {

// The text of string id of the program's module, at most 259 bytes; empty when missing.
std::string ReadResourceString(unsigned id);

}  // namespace kav

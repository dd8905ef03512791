#pragma once
// Names for WinHTTP's error numbers (and the socket errors that stand for them), so that a transport failure's outcome says what happened.
#include <windows.h>

#include <string>

namespace kav::oss {

// "ERROR_WINHTTP_CANNOT_CONNECT" for 12029; "WINHTTP_ERROR_<n>" for a number without a name.
std::string WinHttpErrorName(DWORD error);

}  // namespace kav::oss

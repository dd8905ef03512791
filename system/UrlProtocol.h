#pragma once
// The product's URL scheme: a link KAvrindel<packageCode>:... starts the installed program.
#include <cstddef>
#include <string>
#include <vector>

// Registers the scheme key KAvrindel<packageCode> below HKEY_CLASSES_ROOT with its subkeys and
// values, overwriting an earlier registration. Reports only through the install log: a start line,
// then either one failure line or the finish line.
void RegisterUrlProtocol();

namespace kav {

constexpr char kUrlSchemePrefix[] = "KAvrindel";
// The program path and the icon text are copied into buffers of this size.
constexpr size_t kUrlSchemeTextBuffer = 1024;

constexpr char kUrlLogStart[] = "URL Schemes: Start";
constexpr char kUrlLogFinish[] = "URL Schemes: Finish";
constexpr char kUrlLogCreateKeyFailed[] = "URL Schemes: Create url key Failed";
constexpr char kUrlLogOpenKeyFailed[] = "URL Schemes: Open url key Failed";

// "KAvrindel" + packageCode.
std::string UrlSchemeNameFor(const std::string& packageCode);

// One write below the scheme key: create (or open) a subkey, or use the scheme key itself when
// subkey is null; then set a REG_SZ value unless valueName is null ("" is the default value).
// Each failing call has its own log line.
struct UrlSchemeStep {
    const char* subkey;
    const char* valueName;
    std::string value;
    const char* createFailedLine;
    const char* setFailedLine;
};

// The writes in their order for the install folder.
std::vector<UrlSchemeStep> UrlSchemeStepsFor(const std::string& installDir);

}  // namespace kav

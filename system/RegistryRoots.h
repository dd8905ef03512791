#pragma once
// The predefined registry roots under which the installer registers the product. They are reached
// through one function so that a test can put a key of its own in their place (a key it opened
// read-only, a closed handle), and so make the failure paths happen under a test bench that grants
// every right.
#include <windows.h>

namespace kav {

enum class RegistryRoot { LocalMachine, ClassesRoot };

// HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT, or the key a RegistryRootOverride put in its place.
HKEY RegistryRootKey(RegistryRoot root);

// Puts key in the place of a root for its lifetime and restores the previous one afterwards. The
// key stays owned by the caller. For tests; the installer itself never replaces a root.
class RegistryRootOverride {
public:
    RegistryRootOverride(RegistryRoot root, HKEY key);
    ~RegistryRootOverride();
    RegistryRootOverride(const RegistryRootOverride&) = delete;
    RegistryRootOverride& operator=(const RegistryRootOverride&) = delete;

private:
    RegistryRoot root_;
    HKEY previous_;
};

}  // namespace kav

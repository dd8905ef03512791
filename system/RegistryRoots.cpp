#include "system/RegistryRoots.h"

namespace kav {

namespace {

struct RootSlots {
    HKEY localMachine = HKEY_LOCAL_MACHINE;
    HKEY classesRoot = HKEY_CLASSES_ROOT;
};

RootSlots& Slots() {
    static RootSlots slots;
    return slots;
}

HKEY& SlotOf(RegistryRoot root) {
    return root == RegistryRoot::LocalMachine ? Slots().localMachine : Slots().classesRoot;
}

}  // namespace

HKEY RegistryRootKey(RegistryRoot root) { return SlotOf(root); }

RegistryRootOverride::RegistryRootOverride(RegistryRoot root, HKEY key) : root_(root), previous_(SlotOf(root)) {
    SlotOf(root) = key;
}

RegistryRootOverride::~RegistryRootOverride() { SlotOf(root_) = previous_; }

}  // namespace kav

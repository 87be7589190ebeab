// The stand-in libraries. The program opens them by name and minimum version and only tests the
// result for null; the registry lets tests take a library away to prove that start-up handles a
// missing one.
#include "platform/exec/internal.h"

#include <array>
#include <cstring>

namespace {

// The version every stand-in reports: the one of the system release the program was made for.
constexpr int32_t registeredVersion = 50;

struct Entry {
    Library base;
    bool available = true;
};

std::array<Entry, 8>& registry() {
    static std::array<Entry, 8> entries{{
        {{"exec.library", registeredVersion, 0}},
        {{"dos.library", registeredVersion, 0}},
        {{"graphics.library", registeredVersion, 0}},
        {{"cybergraphics.library", registeredVersion, 0}},
        {{"intuition.library", registeredVersion, 0}},
        {{"utility.library", registeredVersion, 0}},
        {{"asl.library", registeredVersion, 0}},
        {{"gadtools.library", registeredVersion, 0}},
    }};
    return entries;
}

Entry* entryNamed(const char* name) {
    if (name == nullptr)
        return nullptr;
    for (auto& entry : registry()) {
        if (std::strcmp(entry.base.lib_Name, name) == 0)
            return &entry;
    }
    return nullptr;
}

Entry* entryOf(const Library* library) {
    for (auto& entry : registry()) {
        if (&entry.base == library)
            return &entry;
    }
    return nullptr;
}

} // namespace

/// Returns the library's base, or null for an unknown or unavailable name or a version above the
/// registered one.
Library* OpenLibrary(const char* name, uint32_t version) {
    Entry* entry = entryNamed(name);
    if (entry == nullptr || !entry->available || version > static_cast<uint32_t>(registeredVersion))
        return nullptr;
    ++entry->base.lib_OpenCnt;
    return &entry->base;
}

/// Balances one OpenLibrary. Null, and bases this registry never handed out, do nothing.
void CloseLibrary(Library* library) {
    Entry* entry = entryOf(library);
    if (entry != nullptr && entry->base.lib_OpenCnt > 0)
        --entry->base.lib_OpenCnt;
}

namespace tolvarn::platform {

void setLibraryAvailable(const char* name, bool available) {
    if (auto* entry = entryNamed(name))
        entry->available = available;
}

/// The opens of the library not yet balanced by CloseLibrary; 0 for an unknown name.
int32_t libraryOpenCount(const char* name) {
    const auto* entry = entryNamed(name);
    return entry != nullptr ? entry->base.lib_OpenCnt : 0;
}

} // namespace tolvarn::platform

namespace tolvarn::platform::internal {

void resetLibraries() {
    // Availability is a test's doing and must not leak into the next test; open counts are
    // real and stay.
    for (auto& entry : registry())
        entry.available = true;
}

} // namespace tolvarn::platform::internal

#include "launcher/dosboxFolder.h"

#include "pAmigaDos/fileContents.h"
#include "pAmigaDos/pathComposition.h"
#include "pAmigaDos/queries.h"
#include "platform/dos/dos.h"
#include "platform/host/host.h"
#include "runtime/exception.h"
#include "runtime/types.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

/// The example settings an installation puts beside the program's folder.
constexpr char exampleSettings[] = "PROGDIR:/share/tolvarn/Tolvarn.conf";

/// Makes `folder` and whatever of its parents is missing. Returns TRUE when it is a folder then
/// (also when another run made it at the same moment).
int32_t makeFolders(const char* folder) {
    if (pathExists(folder, 2))
        return TRUE;
    EString parent = strPathPart(folder);
    tolvarn::guarded(
        [&] {
            if (EstrLen(parent) > 0 && std::strlen(parent) < std::strlen(folder))
                makeFolders(parent);
        },
        [&] { DisposeString(parent); });
    UnLock(CreateDir(folder));
    return pathExists(folder, 2);
}

/// Makes `folder`/DOSBox a soft link to `found`, unless the folder holds DOSBox already. Only a
/// link of ours may be replaced: a file or folder the user put there stays. Returns TRUE when
/// the folder holds DOSBox afterwards.
int32_t linkDOSBox(const char* folder, const char* found) {
    if (holdsDOSBox(folder))
        return TRUE;
    EString link = strJoinPart(folder, "DOSBox", FALSE);
    tolvarn::guarded(
        [&] {
            int8_t exists = FALSE;
            const int32_t type = dirEntryType(link, TRUE, &exists);
            if (type == ST_SOFTLINK || (type == 0 && !exists))
                DeleteFile(link);
            MakeLink(link, found, TRUE);
        },
        [&] { DisposeString(link); });
    return holdsDOSBox(folder);
}

/// Copies the installed example settings into `folder`, unless it holds settings already.
/// copyFile gives the copy its name only when it is whole, and only while the name is free.
void copyExampleSettings(const char* folder) {
    EString settings = strJoinPart(folder, "Tolvarn.conf", FALSE);
    tolvarn::guarded(
        [&] {
            if (pathExists(exampleSettings, 1))
                copyFile(exampleSettings, settings, FALSE);
        },
        [&] { DisposeString(settings); });
}

} // namespace

int32_t holdsDOSBox(const char* folder) {
    EString path = strJoinPart(folder, "DOSBox", FALSE);
    BPTR lock = 0;
    FileInfoBlock* fib = nullptr;
    int32_t holds = FALSE;
    tolvarn::guarded(
        [&] {
            // The lock follows a soft link, so what is examined is the program it points at.
            lock = quietLock(path, SHARED_LOCK);
            fib = static_cast<FileInfoBlock*>(AllocDosObject(DOS_FIB, nullptr));
            if (lock == 0 || fib == nullptr || !Examine(lock, fib))
                return;
            holds = fib->fib_DirEntryType == ST_FILE && (fib->fib_Protection & FIBF_EXECUTE) == 0
                        ? TRUE
                        : FALSE;
        },
        [&] {
            if (fib != nullptr)
                FreeDosObject(DOS_FIB, fib);
            UnLock(lock);
            DisposeString(path);
        });
    return holds;
}

EString dosboxFolderFromPath() {
    // The names Linux packages give DOSBox and its descendants, in order of preference.
    const std::string found = tolvarn::platform::findFirstInHostPath(
        {"dosbox", "dosbox-x", "dosbox-staging", "io.github.dosbox-staging",
         "com.dosbox_x.DOSBox-X"});
    if (found.empty())
        return nullptr;
    EString folder = strJoinPart(tolvarn::platform::settingsFolder().c_str(), "DOSBox", FALSE);
    EString y = nullptr;
    tolvarn::guarded(
        [&] {
            // Every step leaves what is there alone, so a run that was stopped half-way, or
            // another run at the same moment, ends with the same whole folder.
            if (!makeFolders(folder) || !linkDOSBox(folder, found.c_str())) {
                folder = DisposeString(folder);
                return;
            }
            y = strJoinPart(folder, "Y", FALSE);
            makeFolders(y);
            copyExampleSettings(folder);
            setVar("AppDir/DOSBox", folder, 0);
            std::printf("Tolvarn uses the DOSBox at \"%s\"; its folder \"%s\" is where "
                        "\"Tolvarn.conf\" and \"Y/dos32a.exe\" go.\n",
                        found.c_str(), static_cast<const char*>(folder));
        },
        [&] {
            DisposeString(y);
            if (exception != 0)
                folder = DisposeString(folder);
        });
    return folder;
}

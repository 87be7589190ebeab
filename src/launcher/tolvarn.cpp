#include "launcher/tolvarn.h"

#include "launcher/dos32a.h"
#include "launcher/dosboxFolder.h"
#include "launcher/requesters.h"
#include "pAmigaDos/pathComposition.h"
#include "pAmigaDos/queries.h"
#include "platform/dos/dos.h"
#include "runtime/exception.h"
#include "runtime/types.h"
#include "strings/elist.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace tolvarn {

EString failedCommandLine = nullptr;

void releaseFailedCommandLine() {
    if (failedCommandLine == nullptr)
        return;
    if (exceptionInfo == failedCommandLine)
        exceptionInfo = nullptr;
    failedCommandLine = DisposeString(failedCommandLine);
}

namespace {

constexpr char variableName[] = "AppDir/DOSBox";
constexpr char dosboxFolderTitle[] = "Tolvarn: choose the folder that holds DOSBox";
constexpr char settingsFile[] = "Tolvarn.conf";
constexpr char notAFileMessage[] = "ERROR: \"%s\" is not a file, so it cannot be run";
constexpr char unsafeTextMessage[] =
    "ERROR: Cannot hand \"%s\" to DOSBox: it holds a double quote or a control character";

/// TRUE when `text` survives inside the Shell's double quotes and DOSBox's own quoting unchanged.
/// A double quote would end the quoted item early (and let the rest pass as further DOS
/// commands); a control character such as a line feed would split the command.
bool isSafeInQuotes(const char* text) {
    for (const char* c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte == '"' || byte < 32 || byte == 127)
            return false;
    }
    return true;
}

/// Returns a new e-string holding `text` with each character of `doubled` written twice. Inside
/// the Shell's double quotes an asterisk starts an escape; in a DOS command DOSBox reads
/// "%...%" as a variable. So a DOS command doubles both, the Shell's own command word only "*".
EString escaped(const char* text, const char* doubled = "*%") {
    int32_t count = 0;
    for (const char* c = text; *c != '\0'; ++c)
        count += std::strchr(doubled, *c) != nullptr ? 1 : 0;
    EString escaped = NewString(static_cast<int32_t>(std::strlen(text)) + count);
    for (const char* start = text;;) {
        const char* special = std::strpbrk(start, doubled);
        if (special == nullptr) {
            StrAdd(escaped, start);
            return escaped;
        }
        StrAdd(escaped, start, static_cast<int32_t>(special - start + 1));
        StrAdd(escaped, special, 1);
        start = special + 1;
    }
}

/// TRUE when DOS can start a program of this name: at most eight characters, then at most one
/// dot and three more, none of them a blank, a control character or one DOS forbids in names.
bool isDOSName(const char* name) {
    const char* dot = std::strchr(name, '.');
    const std::size_t length = std::strlen(name);
    const std::size_t base = dot != nullptr ? static_cast<std::size_t>(dot - name) : length;
    const std::size_t extension = dot != nullptr ? length - base - 1 : 0;
    if (base == 0 || base > 8 || extension > 3)
        return false;
    for (const char* c = name; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte <= ' ' || byte == 127 || std::strchr("\"*+,/:;<=>?[\\]|", byte) != nullptr ||
            (byte == '.' && c != dot))
            return false;
    }
    return true;
}

/// The pieces of the DOSBox command line and everything they are built from. Every e-string here
/// is owned by the procedure and freed on every way out.
struct Launch {
    EListStorage<1> argumentStorage{};
    EList arguments = nullptr;
    EString dosboxDir = nullptr;
    EString dosboxExe = nullptr;
    EString chosenFile = nullptr; // from the program requester; a given file is the caller's
    EString programPath = nullptr;
    EString programDir = nullptr;
    EString dos32aPath = nullptr;
    EString dos32aDir = nullptr;
    EString cdPath = nullptr;
    EString commandWord = nullptr;
    EString cdPiece = nullptr;
    EString dos32aPiece = nullptr;
    EString prefix = nullptr;
    EString cDrivePiece = nullptr;
    EString commandLine = nullptr;
    EString settingsName = nullptr;
    BPTR previousDir = nullptr;
    bool changedDir = false;

    void release() {
        // Given back even when the saved directory was 0, so that the lock on the DOSBox
        // directory never stays behind as the current directory.
        if (changedDir)
            UnLock(CurrentDir(previousDir));
        for (EString* text : {&dosboxDir, &dosboxExe, &chosenFile, &programPath, &programDir,
                              &dos32aPath, &dos32aDir, &cdPath, &commandWord, &cdPiece,
                              &dos32aPiece, &prefix, &cDrivePiece, &commandLine, &settingsName})
            *text = DisposeString(*text);
    }
};

/// Tells the user that `text` cannot go into a DOS command and raises "ERR"; returns when it can.
void refuseUnsafe(Launch& launch, const char* text) {
    if (isSafeInQuotes(text))
        return;
    launch.arguments[0] = reinterpret_cast<EListItem>(text);
    requestMessage("Tolvarn", unsafeTextMessage, "OK", launch.arguments, nullptr);
    Raise(ID_ERR);
}

/// Settles launch.dosboxDir and launch.dosboxExe: from the variable, else from the host's PATH,
/// else by asking until the user picks a folder holding DOSBox. Raises "ERR" when the user
/// gives up.
void findDOSBox(Launch& launch) {
    launch.dosboxDir = strGetVar(variableName, 0);
    if (launch.dosboxDir != nullptr && !pathExists(launch.dosboxDir, 0))
        launch.dosboxDir = DisposeString(launch.dosboxDir);
    if (launch.dosboxDir == nullptr)
        launch.dosboxDir = dosboxFolderFromPath();
    for (;;) {
        if (launch.dosboxDir != nullptr) {
            // A relative folder would name something else once DOSBox's folder is current.
            EString absolute = strExpandPath(launch.dosboxDir, FALSE);
            DisposeString(launch.dosboxDir);
            launch.dosboxDir = absolute;
            if (holdsDOSBox(launch.dosboxDir)) {
                launch.dosboxExe = strJoinPart(launch.dosboxDir, "DOSBox", FALSE);
                return;
            }
            launch.dosboxDir = DisposeString(launch.dosboxDir);
            // Known but broken (DOSBox uninstalled, say): the PATH may know better.
            launch.dosboxDir = dosboxFolderFromPath();
            if (launch.dosboxDir != nullptr)
                continue;
        }
        launch.dosboxDir = requestFile(nullptr, nullptr, nullptr, dosboxFolderTitle,
                                       REQUEST_DRAWERS_ONLY, nullptr);
        if (launch.dosboxDir == nullptr) {
            requestMessage("Tolvarn", "Could not find DOSBox", "OK", nullptr, nullptr);
            Raise(ID_ERR);
        }
        // Remembered before DOSBox is looked for, so the next run starts from this directory.
        if (pathExists(launch.dosboxDir, 0))
            setVar(variableName, launch.dosboxDir, 0);
        if (!holdsDOSBox(launch.dosboxDir))
            launch.dosboxDir = DisposeString(launch.dosboxDir);
    }
}

/// TRUE when `path` names a file, or a link to one: a FIFO, device or socket could make a read
/// wait for ever, and a folder cannot be run, so both count as no file.
bool isFile(const char* path) {
    int8_t exists = FALSE;
    const int32_t type = *path != '\0' ? dirEntryType(path, FALSE, &exists) : 0;
    return exists && (type == ST_FILE || type == ST_LINKFILE);
}

/// Tells the user by a requester and raises "ERR" unless `file` names a file that can be run: a
/// folder, a pipe or a device cannot.
void refuseNonFile(Launch& launch, const char* file) {
    if (isFile(file))
        return;
    const bool exists = *file != '\0' && pathExists(file, 0);
    launch.arguments[0] = reinterpret_cast<EListItem>(file);
    requestMessage("Tolvarn", exists ? notAFileMessage : "ERROR: Cannot find the file \"%s\"", "OK",
                   launch.arguments, nullptr);
    Raise(ID_ERR);
}

/// Returns a new e-string with the name that "Tolvarn.conf" has on disk in the current
/// directory (DOSBox looks for the name exactly as given), or NIL when there is no such file.
/// The host's lookup decides which entry that is: the exact name first, else one differing in
/// letter case.
EString settingsNameOnDisk() {
    if (!isFile(settingsFile))
        return nullptr;
    EString path = strExpandPath(settingsFile, TRUE);
    EString name = nullptr;
    guarded([&] { name = StrJoin(FilePart(path)); }, [&] { DisposeString(path); });
    return name;
}

/// TRUE when `file` ends in ".BAT", letter case ignored.
bool isBatchFileName(const char* file) {
    const auto length = static_cast<int32_t>(std::strlen(file));
    return length >= 4 && StrCmpNoCase(file, ".BAT", ALL, length - 4, 0);
}

/// TRUE when `text` ends in a colon, as a device name such as CD0: does.
bool endsInColon(const char* text) {
    const std::size_t length = std::strlen(text);
    return length > 0 && text[length - 1] == ':';
}

/// Returns TRUE when DOSBox ran, FALSE when the user chose no program.
int32_t run(Launch& launch, const char* file, int32_t window, const char* iso, const char* cdDir,
            const char* cdLetter, int32_t noDOS32A, int32_t noExit) {
    launch.arguments = ListInit(&launch.argumentStorage, 1);
    SetList(launch.arguments, 1);

    findDOSBox(launch);

    if (file == nullptr) {
        // The question goes in as the initial drawer; this host shows a drawer that names no
        // folder as the requester's question.
        launch.chosenFile = requestFile("Choose an MS-DOS program to run!", nullptr,
                                        "#?.(exe|com|bat)", "Tolvarn", 0, nullptr);
        if (launch.chosenFile == nullptr)
            return FALSE;
        file = launch.chosenFile;
    }
    refuseNonFile(launch, file);

    const bool isBatchFile = isBatchFileName(file);
    launch.programPath = strExpandPath(file, FALSE);
    const char* programName = FilePart(launch.programPath);
    launch.programDir = strPathPart(launch.programPath);
    launch.dos32aPath = strJoinPart(launch.dosboxDir, "Y/dos32a.exe", FALSE);
    {
        EString yDir = strPathPart(launch.dos32aPath);
        guarded([&] { launch.dos32aDir = strExpandPath(yDir, FALSE); },
                [&] { DisposeString(yDir); });
    }
    if (iso != nullptr)
        launch.cdPath = strExpandPath(iso, FALSE);
    else if (cdDir != nullptr)
        launch.cdPath = strExpandPath(cdDir, FALSE);

    // Everything that goes inside a quoted DOS command is checked before anything on disk
    // changes and before DOSBox starts.
    refuseUnsafe(launch, launch.dosboxExe);
    refuseUnsafe(launch, launch.programPath);
    refuseUnsafe(launch, launch.dos32aDir);
    if (launch.cdPath != nullptr) {
        refuseUnsafe(launch, launch.cdPath);
        refuseUnsafe(launch, cdLetter);
    }

    if (!isDOSName(programName))
        std::printf("WARNING: DOS cannot start \"%s\": a DOS name has at most 8 characters, a dot "
                    "and at most 3 more, and no blanks or any of * ? \" / \\ | : ; , = + < > [ ]\n",
                    programName);

    const int32_t runViaDOS32A = prepareDOS32A(launch.programDir, launch.programPath,
                                               launch.dos32aPath, isBatchFile, noDOS32A);

    // Drive Y: belongs to DOS32A, so a CD on Y (either case) switches it off.
    if (runViaDOS32A && isFile(launch.dos32aPath) && !StrCmpNoCase(cdLetter, "Y")) {
        EString dir = escaped(launch.dos32aDir);
        guarded([&] { launch.dos32aPiece = StrJoin(" -c \"Mount Y *\"", dir, "*\"\""); },
                [&] { DisposeString(dir); });
        launch.prefix = StrJoin("Y:", FilePart(launch.dos32aPath), " ");
    }
    if (isBatchFile) {
        if (launch.prefix != nullptr)
            Throw(ID_BUG, "tolvarn(); runViaDOS32A AND isBatchFile");
        launch.prefix = NewString(5);
        StrCopy(launch.prefix, "CALL ");
    }

    {
        EString dir = nullptr;
        EString name = nullptr;
        guarded(
            [&] {
                dir = escaped(launch.programDir);
                name = escaped(programName);
                launch.cDrivePiece = StrJoin(" -c \"Mount C *\"", dir, "*\"\" -c \"C:\" -c \"",
                                             launch.prefix, name, "\"");
            },
            [&] {
                DisposeString(dir);
                DisposeString(name);
            });
    }

    if (!executeCommand(NOTICE_COMMAND))
        Throw(ID_EXE, NOTICE_COMMAND);

    if (launch.cdPath != nullptr) {
        if (iso == nullptr && endsInColon(cdDir))
            std::printf("WARNING: A DOSBox bug means that it will probably fail to mount \"%s\" "
                        "as a virtual CD.\n",
                        cdDir);
        EString path = nullptr;
        EString letter = nullptr;
        guarded(
            [&] {
                path = escaped(launch.cdPath);
                letter = escaped(cdLetter);
                launch.cdPiece =
                    iso != nullptr
                        ? StrJoin(" -c \"ImgMount ", letter, " *\"", path, "*\" -T iso\"")
                        : StrJoin(" -c \"Mount ", letter, " *\"", path, "*\" -t cdrom\"");
            },
            [&] {
                DisposeString(path);
                DisposeString(letter);
                launch.cdPath = DisposeString(launch.cdPath);
            });
    }

    launch.previousDir = CurrentDir(Lock(launch.dosboxDir, SHARED_LOCK));
    launch.changedDir = true;
    launch.settingsName = settingsNameOnDisk();
    if (launch.settingsName == nullptr)
        std::printf("WARNING: \"Tolvarn.conf\" is missing from \"%s\".\n", launch.dosboxDir);

    // A DOSBox directory with blanks in it must still reach the Shell as one command word.
    if (std::strpbrk(launch.dosboxExe, " \t") != nullptr) {
        EString word = escaped(launch.dosboxExe, "*");
        guarded([&] { launch.commandWord = StrJoin("\"", word, "\""); },
                [&] { DisposeString(word); });
    }

    launch.commandLine = StrJoin(
        launch.commandWord != nullptr ? launch.commandWord : launch.dosboxExe,
        " >NIL: ", noExit ? nullptr : "-exit", window ? nullptr : " -fullscreen",
        launch.settingsName != nullptr ? " -conf " : nullptr, launch.settingsName, launch.cdPiece,
        launch.dos32aPiece, launch.cDrivePiece, noExit ? nullptr : " -c \"exit\"");
    if (!runCommand(launch.commandLine, 640000, nullptr)) {
        // The text now belongs to the exception; its reporter frees it.
        failedCommandLine = launch.commandLine;
        launch.commandLine = nullptr;
        Throw(ID_EXE, failedCommandLine);
    }
    return TRUE;
}

} // namespace

int32_t tolvarn(const char* file, int32_t window, const char* iso, const char* cdDir,
                const char* cdLetter, int32_t noDOS32A, int32_t noExit) {
    Launch launch;
    int32_t ran = FALSE;
    guarded([&] { ran = run(launch, file, window, iso, cdDir, cdLetter, noDOS32A, noExit); },
            [&] { launch.release(); });
    return ran;
}

} // namespace tolvarn

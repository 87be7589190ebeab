// The path-string functions: AddPart, PathPart and FilePart of the host layer, and strJoinPart and
// strPathPart built on them. For any path and name: the parts lie inside the path and split it
// where path resolution does (only a ":" before the first "/" of a path that does not start with
// "/" ends a device name), a path with a last component is put back together by joining its
// parts, AddPart never writes past the size it is given and leaves the buffer alone when the
// result does not fit, and strJoinPart agrees with AddPart without raising anything.
//
// Input: a path, a NUL, a name, a NUL, then one byte that chooses a buffer size for AddPart.
#include "pAmigaDos/pathComposition.h"
#include "platform/dos/dos.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "strings/estring.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

[[noreturn]] void fail(const char* what, const std::string& path, const std::string& name) {
    std::fprintf(stderr, "paths fuzz: %s; path of %zu bytes, name of %zu bytes\n", what,
                 path.size(), name.size());
    std::abort();
}

/// AddPart into a heap buffer of exactly `size` bytes holding `directory`, so that the address
/// sanitizer sees any write past it. Returns the result, or nothing when AddPart refused.
std::unique_ptr<std::string> addPartWithin(const std::string& directory, const std::string& name,
                                           size_t size, const std::string& path) {
    const auto buffer = std::make_unique<char[]>(size);
    std::memcpy(buffer.get(), directory.c_str(), std::min(size, directory.size() + 1));
    buffer[size - 1] = '\0';
    const std::string before(buffer.get(), size);
    if (!AddPart(buffer.get(), name.c_str(), static_cast<uint32_t>(size))) {
        if (std::string(buffer.get(), size) != before)
            fail("AddPart changed the buffer and then refused", path, name);
        return nullptr;
    }
    const size_t length = strnlen(buffer.get(), size);
    if (length >= size)
        fail("AddPart left no NUL inside the buffer", path, name);
    return std::make_unique<std::string>(buffer.get(), length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t pathEnd = input.find('\0');
    const std::string path = input.substr(0, pathEnd);
    std::string name;
    unsigned sizeChoice = 0;
    if (pathEnd != std::string::npos) {
        name = input.c_str() + pathEnd + 1;
        const size_t nameEnd = pathEnd + 1 + name.size();
        if (nameEnd + 1 < input.size())
            sizeChoice = static_cast<unsigned char>(input[nameEnd + 1]);
    }

    // The parts lie inside the path, the directory part ending no later than the last component.
    const char* filePart = FilePart(path.c_str());
    const char* pathPart = PathPart(path.c_str());
    if (filePart < path.c_str() || filePart > path.c_str() + path.size())
        fail("FilePart outside the path", path, name);
    if (pathPart < path.c_str() || pathPart > filePart)
        fail("PathPart outside the path or after FilePart", path, name);
    if (std::strchr(filePart, '/') != nullptr)
        fail("FilePart holds a separator", path, name);
    const size_t colon = path.find(':');
    const size_t device =
        path.starts_with('/') || colon == std::string::npos || path.find('/') < colon ? 0
                                                                                      : colon + 1;
    if (filePart < path.c_str() + device ||
        (filePart > path.c_str() + device && filePart[-1] != '/'))
        fail("FilePart splits the path where resolution does not", path, name);
    const std::string directory(path.c_str(), pathPart);

    // Joining the parts again gives the path back, as long as it has a last component. A last
    // component with a ":" in it reads as a device path on its own, so AddPart takes it whole.
    if (*filePart != '\0' && std::strchr(filePart, ':') == nullptr) {
        const auto joined = addPartWithin(directory, filePart, path.size() + 2, path);
        if (!joined || *joined != path)
            fail("joining PathPart and FilePart does not give the path", path, name);
    }

    // Room for both texts, a "/" and the NUL is always enough; a smaller buffer that still holds
    // the directory either gives the same result or is left as it was.
    const auto roomy = addPartWithin(path, name, path.size() + name.size() + 2, path);
    if (!roomy)
        fail("AddPart refused with room for everything", path, name);
    const size_t smaller = path.size() + 1 + sizeChoice % (name.size() + 2);
    const auto squeezed = addPartWithin(path, name, smaller, path);
    if (squeezed && *squeezed != *roomy)
        fail("AddPart gave another result in a smaller buffer", path, name);

    // The e-string functions agree with the host calls and raise nothing.
    const int64_t blocksBefore = tolvarn::memory::outstandingBlocks();
    exception = 0;
    try {
        EString joined = strJoinPart(path.c_str(), name.c_str(), FALSE);
        EString joinedToDirectory = strJoinPart(path.c_str(), name.c_str(), TRUE);
        EString pathOnly = strPathPart(path.c_str());
        if (joined == nullptr || joined != *roomy ||
            EstrLen(joined) != static_cast<int32_t>(roomy->size()))
            fail("strJoinPart disagrees with AddPart", path, name);
        const auto joinedDirectory =
            addPartWithin(directory, name, directory.size() + name.size() + 2, path);
        if (joinedToDirectory == nullptr || !joinedDirectory ||
            joinedToDirectory != *joinedDirectory)
            fail("strJoinPart with dirOnly disagrees with AddPart", path, name);
        if (pathOnly == nullptr || pathOnly != directory)
            fail("strPathPart disagrees with PathPart", path, name);
        DisposeString(joined);
        DisposeString(joinedToDirectory);
        DisposeString(pathOnly);
    } catch (const eException&) {
        fail("a path function raised an exception", path, name);
    }
    if (exception != 0)
        fail("an exception was left pending", path, name);
    if (tolvarn::memory::outstandingBlocks() != blocksBefore)
        fail("blocks left over", path, name);
    return 0;
}

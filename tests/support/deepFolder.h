// Folders nested deeper than the host accepts in one path: made and removed one level at a time,
// through descriptors, since their full path cannot be handed to the host at once.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tolvarn::testing {

/// Makes `levels` folders named `step`, each inside the one before, below `base`. Returns the path
/// relative to `base`.
inline std::string makeDeepFolder(const std::string& base, const std::string& step, int levels) {
    std::string relative;
    int folder = open(base.c_str(), O_RDONLY | O_DIRECTORY);
    EXPECT_GE(folder, 0) << base;
    for (int level = 0; level < levels && folder >= 0; ++level) {
        EXPECT_EQ(mkdirat(folder, step.c_str(), 0700), 0) << level;
        const int next = openat(folder, step.c_str(), O_RDONLY | O_DIRECTORY);
        close(folder);
        folder = next;
        relative += (level ? "/" : "") + step;
    }
    if (folder >= 0)
        close(folder);
    return relative;
}

/// Removes everything inside the open folder `folder` (closing it), however deep.
inline void removeBelow(int folder) {
    DIR* stream = fdopendir(folder);
    if (stream == nullptr)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(stream)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    for (const std::string& name : names) {
        const int child = openat(dirfd(stream), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (child >= 0) {
            removeBelow(child);
            unlinkat(dirfd(stream), name.c_str(), AT_REMOVEDIR);
        } else {
            unlinkat(dirfd(stream), name.c_str(), 0);
        }
    }
    closedir(stream);
}

/// Removes everything inside `path`, however deep.
inline void removeBelow(const std::string& path) {
    const int folder = open(path.c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0)
        removeBelow(folder);
}

} // namespace tolvarn::testing

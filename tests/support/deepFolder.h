// `levels` folders named `step`, each inside the one before, below `base`: deeper than the host
// takes in one path, so made and removed one level at a time through descriptors.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tolvarn::testing {

struct DeepFolder {
    DeepFolder(const std::string& base, const std::string& step, int levels) : step(step) {
        folders.push_back(open(base.c_str(), O_RDONLY | O_DIRECTORY));
        for (int level = 0; level < levels && folders.back() >= 0; ++level) {
            EXPECT_EQ(mkdirat(folders.back(), step.c_str(), 0700), 0) << level;
            folders.push_back(openat(folders.back(), step.c_str(), O_RDONLY | O_DIRECTORY));
            relative += (level ? "/" : "") + step;
        }
    }
    ~DeepFolder() {
        for (size_t level = folders.size() - 1; level > 0; --level) {
            close(folders[level]);
            EXPECT_EQ(unlinkat(folders[level - 1], step.c_str(), AT_REMOVEDIR), 0) << level;
        }
        close(folders[0]);
    }
    std::string step, relative; // relative: the deepest folder's path below `base`
    std::vector<int> folders;
};

} // namespace tolvarn::testing

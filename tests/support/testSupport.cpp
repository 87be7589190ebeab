#include "testSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tolvarn::platform {
// Weak, so that subsystems tested without the host layer still link.
void resetProcess() __attribute__((weak));
} // namespace tolvarn::platform

namespace fs = std::filesystem;

namespace tolvarn::testing {

Sandbox::Sandbox() {
    std::string pattern = (fs::temp_directory_path() / "tolvarn-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary folder");
    root_ = fs::canonical(pattern).string();
    oldDirectory_ = fs::current_path().string();
    makeDir("work");
    configHome_.emplace("XDG_CONFIG_HOME", makeDir("config"));
    home_.emplace("HOME", makeDir("home"));
    fs::current_path(work());
    if (tolvarn::platform::resetProcess)
        tolvarn::platform::resetProcess();
}

Sandbox::~Sandbox() {
    std::error_code ignored;
    fs::current_path(oldDirectory_, ignored);
    configHome_.reset();
    home_.reset();
    if (tolvarn::platform::resetProcess)
        tolvarn::platform::resetProcess();
    // Give write permission back everywhere first, so that protected files can go.
    for (auto it = fs::recursive_directory_iterator(root_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (!it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(root_, ignored);
}

std::string Sandbox::path(const std::string& relative) const { return root_ + "/" + relative; }

std::string Sandbox::writeFile(const std::string& relative, const std::string& contents) const {
    const std::string full = path(relative);
    fs::create_directories(fs::path(full).parent_path());
    std::ofstream(full, std::ios::binary) << contents;
    return full;
}

std::string Sandbox::makeDir(const std::string& relative) const {
    const std::string full = path(relative);
    fs::create_directories(full);
    return full;
}

std::string captureStdout(const std::function<void()>& action) {
    std::fflush(stdout);
    ::testing::internal::CaptureStdout();
    try {
        action();
    } catch (...) {
        std::fflush(stdout);
        ::testing::internal::GetCapturedStdout();
        throw;
    }
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string buildDir() {
    const char* dir = std::getenv("TOLVARN_BUILD_DIR");
    return dir != nullptr ? dir : ".";
}

} // namespace tolvarn::testing

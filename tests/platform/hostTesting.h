// Helpers for the tests of the Shell, the requesters and start-up: environment variables set for
// one test, small executable scripts, and the host layer's outstanding counts.
#pragma once

#include "platform/exec.h"

#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace tolvarn::testing {

/// Sets (or, with no value, unsets) an environment variable until it goes.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedVariable() {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

/// Writes an executable shell script at `path`; returns the path.
inline std::string writeScript(const std::string& path, const std::string& body) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

/// Splits text made of NUL-terminated items (what `printf '%s\0'` writes).
inline std::vector<std::string> nulSeparated(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\0', start);
        items.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return items;
}

/// A script that writes each of its arguments, NUL-terminated, to standard output.
inline constexpr const char* printArgumentsScript =
    "for a in \"$@\"; do printf '%s\\0' \"$a\"; done";

/// Fails the test when the host layer still holds something it handed out.
inline void expectNothingOutstanding() {
    EXPECT_EQ(tolvarn::platform::outstanding(), tolvarn::platform::Outstanding{});
}

} // namespace tolvarn::testing

// Shared by the host layer's tests: a sandbox per test with a check that everything handed out
// came back, environment variables set for a while, scripts, and small helpers.
#pragma once

#include "platform/dos/dos.h"
#include "platform/exec/exec.h"

#include "support/testSupport.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tolvarn::testing {

/// While it lives, permissions bind root as they bind anyone (CI runs the tests as root): the
/// calling thread gives up its right to read and search what they forbid.
class PermissionsBindRoot {
  public:
    PermissionsBindRoot() {
        syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct bound[2] = {saved_[0], saved_[1]};
        bound[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        syscall(SYS_capset, &header_, bound);
    }
    ~PermissionsBindRoot() { syscall(SYS_capset, &header_, saved_); }
    PermissionsBindRoot(const PermissionsBindRoot&) = delete;

  private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};

/// Text as a tag or argument value.
inline intptr_t text(const char* value) {
    return reinterpret_cast<intptr_t>(value);
}

/// `piece` written `times` times in a row.
inline std::string repeated(const std::string& piece, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

/// Writes an executable shell script; returns its path.
inline std::string writeScript(const std::string& path, const std::string& body) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

/// The items of text written as `printf '%s\0' ...` writes them.
inline std::vector<std::string> nulSeparated(const std::string& text) {
    std::vector<std::string> items;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, '\0');)
        items.push_back(item);
    return items;
}

/// A sandbox per test; afterwards nothing the layer handed out may be out, no child unreaped.
class HostLayerTest : public ::testing::Test {
  protected:
    Sandbox sandbox;

    void TearDown() override {
        EXPECT_EQ(platform::outstanding(), platform::Outstanding{}) << "not given back";
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a child process is left";
    }

    /// The host path Lock() finds for `path`, or "" when it fails.
    static std::string resolved(const std::string& path) {
        BPTR lock = Lock(path.c_str(), SHARED_LOCK);
        const std::string name = lock != nullptr ? lock->hostPath : "";
        UnLock(lock);
        return name;
    }

    void makeLink(const std::string& target, const std::string& relativeLink) const {
        std::filesystem::create_symlink(target, sandbox.path(relativeLink));
    }
};

} // namespace tolvarn::testing

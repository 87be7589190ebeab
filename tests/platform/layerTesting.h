// Shared by the file-system tests of the host layer: a sandbox per test, a check that everything
// handed out came back, and small helpers for locks and files.
#pragma once

#include "platform/dos.h"
#include "platform/exec.h"

#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tolvarn::testing {

class HostLayerTest : public ::testing::Test {
  protected:
    Sandbox sandbox;

    void TearDown() override {
        EXPECT_EQ(tolvarn::platform::outstanding(), tolvarn::platform::Outstanding{})
            << "a lock, file handle, device-process record or DOS object was not given back";
    }

    /// The host path Lock() finds for `path`, or "" when it fails.
    static std::string resolved(const std::string& path) {
        BPTR lock = Lock(path.c_str(), SHARED_LOCK);
        if (lock == nullptr)
            return "";
        std::string name = lock->hostPath;
        UnLock(lock);
        return name;
    }

    /// Writes an assigns file into the sandbox's configuration and rereads it.
    void writeAssigns(const std::string& text) {
        sandbox.writeFile("config/tolvarn/assigns", text);
        tolvarn::platform::resetProcess();
    }

    void makeLink(const std::string& target, const std::string& relativeLink) const {
        std::filesystem::create_symlink(target, sandbox.path(relativeLink));
    }
};

} // namespace tolvarn::testing

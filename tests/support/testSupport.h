// Shared test helpers: a private sandbox folder for every test that touches files or settings,
// and capture of what a piece of code prints.
#pragma once

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

namespace tolvarn::testing {

/// Sets (with no value: unsets) an environment variable until it goes.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    ~ScopedVariable() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }
    ScopedVariable(const ScopedVariable&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

/// A fresh temporary folder for one test. While it lives, the current directory is its "work"
/// folder, XDG_CONFIG_HOME is its "config" folder and HOME its "home" folder, so no test ever
/// touches the user's own files or settings. The host layer's process record is rebuilt to match.
/// Everything is put back and removed when it goes.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    /// The sandbox's root folder (absolute, canonical).
    const std::string& root() const { return root_; }
    /// root()/relative.
    std::string path(const std::string& relative) const;
    /// The work folder that is the current directory.
    std::string work() const { return path("work"); }
    /// Writes `contents` to root()/relative, creating the folders on the way; returns the path.
    std::string writeFile(const std::string& relative, const std::string& contents) const;
    /// Creates root()/relative and its parents; returns the path.
    std::string makeDir(const std::string& relative) const;

private:
    std::string root_;
    std::string oldDirectory_;
    std::optional<ScopedVariable> configHome_, home_;
};

/// Runs `action` and returns everything it printed on standard output.
std::string captureStdout(const std::function<void()>& action);

/// Reads a whole file; an empty text when it cannot be read.
std::string readFile(const std::string& path);

/// The folder of the build tree (for finding built programs), from TOLVARN_BUILD_DIR.
std::string buildDir();

} // namespace tolvarn::testing

#pragma once

#include <filesystem>
#include <optional>
#include <string>

// A fresh temporary directory made the port directory's root
// (XDG_RUNTIME_DIR), and its state/ folder the home of the modules'
// journals (XDG_STATE_HOME), for as long as the object lives, so that
// parallel tests, benches and demos never share or shadow COM names or
// journals. Removed afterwards.
class PrivateRuntimeDir {
public:
    explicit PrivateRuntimeDir(const char* prefix = "lumaret-test");
    ~PrivateRuntimeDir();
    PrivateRuntimeDir(const PrivateRuntimeDir&) = delete;
    PrivateRuntimeDir& operator=(const PrivateRuntimeDir&) = delete;

    // False when the directory could not be made.
    bool Valid() const { return !m_path.empty(); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::optional<std::string> m_previousRuntime;
    std::optional<std::string> m_previousState;
};

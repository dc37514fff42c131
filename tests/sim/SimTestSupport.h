#pragma once

#include <filesystem>
#include <string>

// A fresh temporary directory made the port directory's root
// (XDG_RUNTIME_DIR) for as long as the object lives, so that parallel
// tests never share COM names.
class PrivateRuntimeDir {
public:
    PrivateRuntimeDir();
    ~PrivateRuntimeDir();
    PrivateRuntimeDir(const PrivateRuntimeDir&) = delete;
    PrivateRuntimeDir& operator=(const PrivateRuntimeDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::string m_previous;
    bool m_hadPrevious = false;
};

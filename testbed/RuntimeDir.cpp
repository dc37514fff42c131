#include "RuntimeDir.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

PrivateRuntimeDir::PrivateRuntimeDir(const char* prefix) {
    std::string dirTemplate =
        (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (mkdtemp(dirTemplate.data()) == nullptr) {
        return;
    }
    m_path = dirTemplate;
    if (const char* previous = std::getenv("XDG_RUNTIME_DIR")) {
        m_previous = previous;
        m_hadPrevious = true;
    }
    setenv("XDG_RUNTIME_DIR", dirTemplate.c_str(), 1);
}

PrivateRuntimeDir::~PrivateRuntimeDir() {
    if (m_path.empty()) {
        return;
    }
    if (m_hadPrevious) {
        setenv("XDG_RUNTIME_DIR", m_previous.c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

#include "RuntimeDir.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace {

std::optional<std::string> Replace(const char* name, const std::string& value) {
    std::optional<std::string> previous;
    if (const char* before = std::getenv(name)) {
        previous = before;
    }
    setenv(name, value.c_str(), 1);
    return previous;
}

void Restore(const char* name, const std::optional<std::string>& previous) {
    if (previous) {
        setenv(name, previous->c_str(), 1);
    } else {
        unsetenv(name);
    }
}

} // namespace

PrivateRuntimeDir::PrivateRuntimeDir(const char* prefix) {
    std::string dirTemplate =
        (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (mkdtemp(dirTemplate.data()) == nullptr) {
        return;
    }
    m_path = dirTemplate;
    m_previousRuntime = Replace("XDG_RUNTIME_DIR", dirTemplate);
    m_previousState = Replace("XDG_STATE_HOME", (m_path / "state").string());
}

PrivateRuntimeDir::~PrivateRuntimeDir() {
    if (m_path.empty()) {
        return;
    }
    Restore("XDG_RUNTIME_DIR", m_previousRuntime);
    Restore("XDG_STATE_HOME", m_previousState);
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

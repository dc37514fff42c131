#include "SimTestSupport.h"

#include <cstdlib>
#include <stdexcept>

PrivateRuntimeDir::PrivateRuntimeDir() {
    char dirTemplate[] = "/tmp/lumaret-simtest-XXXXXX";
    if (!mkdtemp(dirTemplate)) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = dirTemplate;
    if (const char* previous = std::getenv("XDG_RUNTIME_DIR")) {
        m_previous = previous;
        m_hadPrevious = true;
    }
    setenv("XDG_RUNTIME_DIR", dirTemplate, 1);
}

PrivateRuntimeDir::~PrivateRuntimeDir() {
    if (m_hadPrevious) {
        setenv("XDG_RUNTIME_DIR", m_previous.c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

#include "RunControl.h"

#include <algorithm>
#include <unistd.h>

void CRunControl::Interrupt() {
    std::lock_guard lock(m_mutex);
    m_interrupted = true;
    for (std::atomic<int32_t>* flag : m_flags) {
        flag->store(0);
    }
}

void CRunControl::Register(std::atomic<int32_t>& running) {
    std::lock_guard lock(m_mutex);
    if (m_interrupted) {
        running.store(0);
    }
    m_flags.push_back(&running);
}

void CRunControl::Unregister(std::atomic<int32_t>& running) {
    std::lock_guard lock(m_mutex);
    m_flags.erase(std::remove(m_flags.begin(), m_flags.end(), &running), m_flags.end());
}

void CRunControl::Keep(const std::string& port, std::string text) {
    Keep(port, [text = std::move(text)] { return text; });
}

void CRunControl::Keep(const std::string& port, KeptWord word) {
    std::lock_guard lock(m_keptMutex);
    m_kept[port] = std::move(word);
}

void CRunControl::Forget(const std::string& port) {
    std::lock_guard lock(m_keptMutex);
    m_kept.erase(port);
}

void CRunControl::KeepAfter(const std::string& port,
                            const std::function<KeptWord()>& stepThenWord) {
    std::lock_guard lock(m_keptMutex);
    KeptWord word = stepThenWord();
    if (!word) {
        m_kept.erase(port);
    } else {
        m_kept[port] = std::move(word);
    }
}

void CRunControl::EndAtOnce(int status) const {
    m_keptMutex.lock(); // never released: the program ends holding it
    const std::string line = "lumaret-cli: stopped at once; " + KeptTextHeld() + "\n";
    (void)!write(STDERR_FILENO, line.data(), line.size());
    _exit(status);
}

std::string CRunControl::KeptTextHeld() const {
    std::string text;
    for (const auto& [port, kept] : m_kept) {
        text += text.empty() ? "" : "; ";
        text += port;
        text += ": ";
        text += kept();
    }
    return text.empty() ? "nothing written" : text;
}

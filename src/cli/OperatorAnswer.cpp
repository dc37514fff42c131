#include "OperatorAnswer.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace {

// How often a wait for the operator looks at the running flag.
constexpr int LOOK_MS = 200;

} // namespace

bool ReadAnswer(int fd, const std::atomic<int32_t>& running, std::string& answer) {
    answer.clear();
    while (running.load() != 0) {
        pollfd p{fd, POLLIN, 0};
        const int rc = poll(&p, 1, LOOK_MS);
        if (rc < 0 && errno != EINTR) {
            return false;
        }
        if (rc <= 0) {
            continue;
        }
        char c = 0;
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        if (c == '\n') {
            return true;
        }
        if (c != '\r') {
            answer.push_back(c);
        }
    }
    return false;
}

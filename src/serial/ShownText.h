#pragma once

#include <string>
#include <string_view>

// Text that came from a file or a peer (a map, a session, ports.conf, a
// database file) as it may be shown: every control character but the line
// end and the tab written as \xNN, so that none reaches a terminal raw.
std::string ShownText(std::string_view text);

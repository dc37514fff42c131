#pragma once

#include <string>

class CSerialLink;
class SimulatedModule;

// A three-key remote learned through the job that walks a remote map: the
// module joins a room, and a remote in this program presses each key as the
// walk asks for it. Prints each key's outcome; true when all three codes
// came back as pressed. The session file goes into folder.
bool LearnDemoRemote(CSerialLink& link, SimulatedModule& module, const std::string& folder);

// Runs another program without a shell: the arguments go to it as they are.
#pragma once

#include <string>
#include <vector>

namespace qv::rec {

// Runs argv[0] (looked up in PATH) with stdin from /dev/null and waits for it.
// True when it ran and exited with status 0; otherwise false with a message.
// With `output`, what the program writes to stdout and stderr is collected
// there instead of going to ours.
bool RunProgram(const std::vector<std::string>& argv, std::string& error, std::string* output = nullptr);

// True when `program` is found in PATH as an executable file.
bool ProgramAvailable(const std::string& program);

}  // namespace qv::rec

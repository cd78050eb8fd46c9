// Where the programs of a scale run may run: a child inherits the CPUs of
// the thread that starts it.
#pragma once

#include <functional>
#include <string>

namespace qltbench {

// Runs start() with the calling thread limited to `cpus` (a list such as
// "0", "1" or "0-1"; empty leaves it as it is), then restores the thread's
// CPUs. Throws std::invalid_argument for a list the kernel refuses.
void on_cpus(const std::string& cpus, const std::function<void()>& start);

}  // namespace qltbench

#pragma once
#include <string>

namespace shell {

// The processor's marketing name ("model name" of the first processor in
// /proc/cpuinfo, at most 49 characters). Leaves `name` unchanged and returns
// false when it cannot be read.
bool ReadProcessorName(std::string& name, const std::string& cpuinfoPath = "/proc/cpuinfo");

} // namespace shell

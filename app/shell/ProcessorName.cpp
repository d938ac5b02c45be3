#include "app/shell/ProcessorName.h"

#include <fstream>

namespace shell {

bool ReadProcessorName(std::string& name, const std::string& cpuinfoPath)
{
    std::ifstream in(cpuinfoPath);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) != 0)
            continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string value = line.substr(colon + 1);
        const auto first = value.find_first_not_of(" \t");
        if (first == std::string::npos)
            return false;
        value = value.substr(first);
        // The caller's buffer holds 50 characters with the terminator.
        if (value.size() > 49)
            value.resize(49);
        name = value;
        return true;
    }
    return false;
}

} // namespace shell

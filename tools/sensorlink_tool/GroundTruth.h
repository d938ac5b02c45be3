#pragma once
// Ground truth of the emulated optics: the whole slide with every specimen
// sharp, and the field a given frame of an emulated camera showed.
#include <string>

namespace sensorlink_tool {

// `truth slide <file>` and `truth field <frame> <file>`: writes the picture
// (its type by the file's extension) and prints what it is; 0 on success,
// 1 with a message on stderr otherwise.
int commandTruth(int argc, char** argv);

} // namespace sensorlink_tool

#pragma once
// Descriptor details of the cameras the SDK counts, for `list -v`.
namespace sensorlink_tool {
void printDeviceDetails(int count);
}

#pragma once
// Inside the library: the USB camera stores the reason of each open here
// (a CMOpenFailure value; the SDK's VEXEL_OPEN_ codes are the same numbers).
void recordOpenFailure(int failure);

#pragma once
// CDPI: the DPI of the primary screen as windows should use it (96 = 100 %).
class CDPI {
public:
    static int GetMainMonitorDPI();
};

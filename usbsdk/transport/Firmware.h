#pragma once
// Result codes of a firmware download (0 = success).
namespace usbsdk {
enum FirmwareResult : int {
    kFwOk = 0,
    kFwTransferFailed = 1, // a write or its check failed
    kFwBadTarget = 2,
    kFwNoSignature = 3,    // RAM image without "CY"
    kFwSectionPastEnd = 5, // RAM image: section header beyond the file
    kFwNoImage = 6,        // missing or empty file
    kFwEraseFailed = 7,    // SPI flash sector erase
    kFwChunkPastEnd = 8,   // RAM image: section data beyond the file
    kFwBadEepromSize = 9,  // I2C image: unknown size code
};
const char* firmwareResultName(int result);
} // namespace usbsdk

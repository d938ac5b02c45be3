#pragma once
// Public interface of the USB camera SDK (libsensorlink.so, and the Vexel build
// libVexel.so with the larger image limit). Plain C, callable from C and C++.
//
// Typical use: Vexel_Init; Vexel_SearchCamera; Vexel_LoginCamera with one of the
// returned records; Vexel_SetCaptureCallback; Vexel_StartCtrl; register reads
// and writes; Vexel_StartCapture ... Vexel_StopCapture; Vexel_StopCtrl;
// Vexel_LogoutCamera; Vexel_UnInit.
//
// Init, UnInit, SearchCamera, LoginCamera and LogoutCamera must not run
// concurrently with each other or with other calls. Register functions may be
// called from any thread (also from the capture callback).
#include <stdint.h>

#include "usbsdk/SensorlinkExport.h"

#ifdef __cplusplus
#define VEXEL_NOEXCEPT noexcept
#else
#define VEXEL_NOEXCEPT
#endif

/* Number of camera sessions (camera indices 0..15). */
#define VEXEL_MAX_CAMERAS 16

/* Result codes. Functions return 0 (or a count / index >= 0) on success. */
#define VEXEL_OK 0
#define VEXEL_E_NOT_INITIALISED ((int32_t)0x80000000) /* also: no command endpoint */
#define VEXEL_E_STATE ((int32_t)0x80000001)           /* already initialised / running / not logged in */
#define VEXEL_E_NO_MEMORY ((int32_t)0x80000002)
#define VEXEL_E_ARGUMENT ((int32_t)0x80000003) /* null pointer or camera index out of range */
#define VEXEL_E_LOGIN_INDEX ((int32_t)0x80000004)
#define VEXEL_E_NO_SESSION ((int32_t)0x80000005) /* not logged in, device not opened, bad block write */
#define VEXEL_E_TRANSACTION ((int32_t)0x80000006)
#define VEXEL_E_SEARCH_OPEN ((int32_t)0x80000007) /* no longer returned: a search opens no device */
#define VEXEL_E_NO_ENDPOINT ((int32_t)0x80000008)
#define VEXEL_E_FIRMWARE ((int32_t)0x80000009)
#define VEXEL_E_BLOCK_LENGTH ((int32_t)0x80000100)

/* Capture and control states reported by the Get...ConnectState functions. */
#define VEXEL_STATE_RUNNING 1
#define VEXEL_STATE_STOPPED 2

/* Firmware download targets of Vexel_FwUpdate. */
#define VEXEL_FW_TARGET_RAM 1
#define VEXEL_FW_TARGET_I2C_EEPROM 2
#define VEXEL_FW_TARGET_SPI_FLASH 3

/* One camera as found by Vexel_SearchCamera; exactly 268 bytes. */
typedef struct CameraInfo {
    int32_t index;     /* 0-based position among the cameras found */
    int32_t vendorId;  /* USB vendor id, zero-extended */
    int32_t productId; /* USB product id, zero-extended */
    char name[256];    /* never filled by the SDK */
} CameraInfo;

#ifdef __cplusplus
static_assert(sizeof(CameraInfo) == 268, "CameraInfo crosses the library boundary as 268 bytes");
#else
_Static_assert(sizeof(CameraInfo) == 268, "CameraInfo crosses the library boundary as 268 bytes");
#endif

/* Called on the camera's delivery thread for every stored frame: `frame` is the
   52-byte stream leader followed by the payload (2 bytes per pixel), `frameSize`
   = width * height * 2 + 52. The memory is valid only during the call. The
   result is ignored. */
typedef int (*VexelCaptureCallback)(const uint8_t* frame, int32_t frameSize, void* userData, int32_t userValue);

/* Library lifetime. When SENSORLINK_EMULATE=<n> is set at Vexel_Init, n emulated
   cameras replace the USB bus (see the README). */
SENSORLINK_API int32_t Vexel_Init(void) VEXEL_NOEXCEPT;
SENSORLINK_API int32_t Vexel_UnInit(void) VEXEL_NOEXCEPT;

/* Fills `list` with the cameras present and returns their number. `list` must
   have room for VEXEL_MAX_CAMERAS records; at most that many are written. The
   ids are read without opening a device, so a camera the user may not open is
   still listed (its login then fails). */
SENSORLINK_API int32_t Vexel_SearchCamera(CameraInfo* list) VEXEL_NOEXCEPT;
/* Opens camera info->index and returns the index (a negative code on failure). */
SENSORLINK_API int32_t Vexel_LoginCamera(const CameraInfo* info) VEXEL_NOEXCEPT;
SENSORLINK_API int32_t Vexel_LogoutCamera(int32_t index) VEXEL_NOEXCEPT;
/* Writes where camera `index` is plugged in ("usb:<bus>-<port>.<port>...",
   zero-terminated) into `port` of `size` bytes and returns its length (0
   when the bus cannot tell). For a logged-in camera it is the device the
   login opened, otherwise the camera at that position of the last
   Vexel_SearchCamera, so two cameras with the same ids are told apart and a
   login can be checked against the record it was given. VEXEL_E_ARGUMENT
   for a bad index, a null buffer or one too small. */
SENSORLINK_API int32_t Vexel_GetCameraPort(int32_t index, char* port, int32_t size) VEXEL_NOEXCEPT;
#define VEXEL_MAX_PORT 64
/* Why the last Vexel_LoginCamera could not open its camera; VEXEL_OPEN_OK after
   one that could. */
#define VEXEL_OPEN_OK 0
#define VEXEL_OPEN_NO_PERMISSION 1 /* the device node is not accessible: the udev rule is missing */
#define VEXEL_OPEN_BUSY 2          /* another program holds the camera */
#define VEXEL_OPEN_GONE 3          /* unplugged */
#define VEXEL_OPEN_FAILED 4
SENSORLINK_API int32_t Vexel_GetOpenFailure(void) VEXEL_NOEXCEPT;
/* The logged-in camera's record, or NULL. Valid while the camera stays logged in. */
SENSORLINK_API CameraInfo* Vexel_GetCameraInfo(int32_t index) VEXEL_NOEXCEPT;

/* Capture. */
SENSORLINK_API int32_t Vexel_SetCaptureCallback(int32_t index, VexelCaptureCallback callback, void* userData,
                                                int32_t userValue) VEXEL_NOEXCEPT;
SENSORLINK_API int32_t Vexel_StartCapture(int32_t index) VEXEL_NOEXCEPT;
SENSORLINK_API int32_t Vexel_StopCapture(int32_t index) VEXEL_NOEXCEPT;
/* VEXEL_STATE_RUNNING, or VEXEL_STATE_STOPPED (also after the stream gave up). */
SENSORLINK_API int32_t Vexel_GetCaptureConnectState(int32_t index) VEXEL_NOEXCEPT;

/* Register control. The register functions work without Vexel_StartCtrl; the
   control state reports whether the last transaction succeeded. */
SENSORLINK_API int32_t Vexel_StartCtrl(int32_t index) VEXEL_NOEXCEPT;
SENSORLINK_API int32_t Vexel_StopCtrl(int32_t index) VEXEL_NOEXCEPT;
SENSORLINK_API int32_t Vexel_GetCtrlConnectState(int32_t index) VEXEL_NOEXCEPT;
SENSORLINK_API int32_t Vexel_SetParam(int32_t index, uint32_t param, int32_t value) VEXEL_NOEXCEPT;
SENSORLINK_API int32_t Vexel_GetParam(int32_t index, uint32_t param, int32_t* value) VEXEL_NOEXCEPT;
/* Block write of `length` (> 4) bytes at a 16-bit address. */
SENSORLINK_API int32_t Vexel_SetBlockParam(int32_t index, uint16_t address, const void* data,
                                           int32_t length) VEXEL_NOEXCEPT;
/* Block read: 8192 bytes for addresses 0x6480 and 0x6490, otherwise 4. `buffer`
   must hold that many bytes; *length receives the bytes copied. */
SENSORLINK_API int32_t Vexel_GetBlockParam(int32_t index, uint16_t address, void* buffer,
                                           int32_t* length) VEXEL_NOEXCEPT;

/* Downloads the firmware image file `path` to camera `deviceIndex`: target 1
   controller RAM, 2 I2C EEPROM, 3 SPI flash. 0 or VEXEL_E_FIRMWARE. */
SENSORLINK_API int32_t Vexel_FwUpdate(int32_t deviceIndex, const char* path, int32_t target) VEXEL_NOEXCEPT;

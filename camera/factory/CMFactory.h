#pragma once
// The library's entry point for finding and creating cameras: lists the
// locally attached cameras by group, creates a camera for a listed device or
// a network camera for an address, drives the wireless-box scan and names the
// pixel formats. Every camera returned is owned by the caller, who calls
// Release() and then deletes it.
#include "camera/CMCameraBase.h"

#include <string>
#include <vector>

class LENSBRIDGE_API CMFactory {
public:
    // Network camera kinds of GetCamera(kind, address).
    static constexpr int kWirelessBox = 7;
    static constexpr int kRtspStream = 8;

    // Appends the non-empty groups of local cameras: DirectShow (type 0)
    // first, then the USB SDK group (type 2, "SENSORLINK"). Always 0.
    static int GetVideoDeviceList(std::vector<_tag_VideoDeviceList>* groups);
    // The camera for device `index` of group `group` of the list as it is
    // now (the list is taken again on every call). `name` receives the
    // device name as a bounded copy of at most `nameSize` bytes (not
    // terminated when the name fills it); `vid`/`pid` the ids. Null for an
    // index out of range or a group of another type. The last argument has no effect.
    static CMCameraBase* GetCamera(unsigned group, unsigned index, char* name, int nameSize, int* vid, int* pid,
                                   bool reserved);
    // kWirelessBox: the box at `address`; kRtspStream: the stream at URL
    // `address`; any other kind: null.
    static CMCameraBase* GetCamera(int kind, const char* address);

    // GetVideoDeviceList that also tells which camera each device is, for as
    // long as it stays plugged into the same port: `identities` gets one list
    // per group appended, one text per device, "<kind> <vid>:<pid> <port>"
    // with kind "video" (group type 0) or "usb3" (type 2), the ids as 4
    // lower-case hex digits and the port ("usb:1-2.3", "emulated:1"), so
    // identical cameras differ. The records themselves are as without it.
    static int GetVideoDeviceList(std::vector<_tag_VideoDeviceList>* groups,
                                  std::vector<std::vector<std::string>>* identities);
    // The identity of the device `camera` actually opened (after a
    // successful Init), read from the open device rather than from the list
    // it was chosen from: equal to the chosen device's identity above unless
    // the cameras changed places in between. "box <address>" and
    // "rtsp <url>" for network cameras. "" for no camera, or a local camera
    // that has no device open.
    static std::string GetCameraIdentity(CMCameraBase* camera);

    // Any thread: a network camera (RTSP stream or wireless box) whose Init
    // runs on another thread gives up at once, and that Init fails; the
    // camera is then only to be released. Other cameras: nothing happens
    // (their Init ends within its own time-outs).
    static void AbortOpen(CMCameraBase* camera);

    // Hosts the wireless-box scan probes from the next StartDeviceScan on:
    // comma-separated numeric IPv4 addresses, each optionally with ":port"
    // (a network's broadcast address finds the boxes on that network). Null
    // or blank means loopback only. When the environment variable
    // PELLUMO_BOX_SCAN_HOSTS is set it wins and the call changes nothing.
    // False when the text is not such a list (the hosts stay as they were).
    static bool SetScanHosts(const char* commaSeparatedHosts);
    // Hosts the program itself adds to every scan from the next SetScanHosts
    // on, after the ones given there (the demo's box simulator); they are
    // not the user's and are never saved. Same format; null or blank: none.
    // False when the text is not such a list (nothing changes).
    static bool SetProgramScanHosts(const char* commaSeparatedHosts);
    // Wireless-box discovery: start (true when the scanner started), poll
    // the boxes found so far (appended to `boxes`), stop.
    static bool StartDeviceScan(int mode);
    static void GetDevicesList(std::vector<_tag_VideoDeviceInfo>* boxes);
    static void StopDeviceScan();

    // "RGB24", "YUY2", "YUYV", "MJPG", "H.264" or "Unknown"; static strings.
    static const char* GetImageFormatDesc(int format);
};

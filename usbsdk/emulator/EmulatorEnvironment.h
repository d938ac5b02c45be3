#pragma once
// Emulated cameras chosen by environment variables, so the shipped libraries
// (and everything above them) can run without hardware:
//
//   SENSORLINK_EMULATE=<n>              n emulated cameras instead of the USB bus
//   SENSORLINK_EMULATE_SIZE=<w>x<h>     initial region of interest (1280x960)
//   SENSORLINK_EMULATE_FPS=<fps>        frame rate (30)
//   SENSORLINK_EMULATE_STAMP=1          stamp frame number and settings into frames
//   SENSORLINK_EMULATE_USB=2|3          USB 2.1 or 3.0 descriptors (3)
//   SENSORLINK_EMULATE_IDS=<vid>:<pid>  USB ids in hex (1209:5ec5)
//   SENSORLINK_EMULATE_SAME_IDS=1       every camera has those ids (serials differ)
//   SENSORLINK_EMULATE_EVENTS=<file>    appends "open <serial>" / "close <serial>"
//                                       as connections to the cameras come and go
//   SENSORLINK_EMULATE_CONTROL=<file>   lines "unplugged <i>" and "held <i>" (by
//                                       another program) another process writes;
//                                       read at every listing and open
//   SENSORLINK_EMULATE_FAULTS=<list>    comma-separated faults:
//       short_payload_every=<n>  every n-th frame arrives 2 bytes short
//       fail_stream_every=<n>    every n-th stream transfer fails
//       bad_ack_every=<n>        every n-th acknowledgement has a stale request id
//       unplug_after=<frames>    the camera is unplugged after that many frames
//       replug_after_ms=<n>      an unplugged camera comes back after n ms
//       unplug_every=<frames>    unplugged after that many frames of every plug-in
//                                (with replug_after_ms: a repeating unplug)
//   SENSORLINK_EMULATE_FOCUS, _STAGE, _SHAKE, _NOISE, _SHADING
//                                the microscope's optics (optics/OpticsSettings.h)
//
// Camera i (from 0) has the product id of SENSORLINK_EMULATE_IDS (default
// 5ec5) plus i, unless SENSORLINK_EMULATE_SAME_IDS is 1, and the serial
// EMU<1000 + i>; it sits at port "emulated:<i>". The bus lives as long as the process, so a camera unplugged
// stays so (or comes back) across the SDK's init and uninit.
#include <memory>
#include <string>

#include "usbsdk/emulator/EmulatorConfig.h"
#include "usbsdk/transport/UsbBus.h"

namespace usbsdk::emulator {

// Applies the SENSORLINK_EMULATE_* variables to a default configuration;
// false with `error` set when a value cannot be understood.
bool configFromEnvironment(EmulatorConfig& config, std::string& error);
// The bus for SENSORLINK_EMULATE, or null when it is unset or 0. The same
// bus while the SENSORLINK_EMULATE* variables keep their values.
std::shared_ptr<UsbBus> busFromEnvironment();

} // namespace usbsdk::emulator

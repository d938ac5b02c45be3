#pragma once
// Demo mode (--demo): simulated cameras instead of hardware. Two emulated
// USB3 cameras and the emulated video devices (each only where the user has
// not chosen otherwise in the environment) and the wireless box simulator as
// a child process on 127.0.0.1, on ports the system picks. The simulator
// dies with the program, also when the program is killed. UI thread only.
#include <string>
#include <sys/types.h>

namespace shell {

class DemoMode {
public:
    DemoMode() = default;
    DemoMode(const DemoMode&) = delete;
    DemoMode& operator=(const DemoMode&) = delete;
    // Stops the simulator and waits for it.
    ~DemoMode();

    // Sets SENSORLINK_EMULATE=2 and LENSBRIDGE_EMULATE_VIDEO=1 where unset.
    // Call before the camera library lists anything.
    static void SetEnvironment();

    // Starts the box simulator and waits up to three seconds for its READY
    // line; its discovery address is then searched by every box scan beside
    // the hosts the user gives (CMFactory::SetProgramScanHosts), and never
    // saved. False when the simulator is missing or did not answer (the demo
    // then runs without a box).
    bool StartBoxSimulator();
    // "127.0.0.1:port" of the simulator's discovery, empty when none runs.
    const std::string& BoxDiscoveryAddress() const { return m_discovery; }
    // "127.0.0.1:port" of its session port.
    const std::string& BoxSessionAddress() const { return m_session; }

private:
    pid_t m_child = -1;
    std::string m_discovery;
    std::string m_session;
};

} // namespace shell

// Sends arbitrary acknowledgements to the register transactions of a session
// talking to an emulated camera, and checks that only an acknowledgement that
// really answers the command is accepted, and that its value is what arrives.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "usbsdk/emulator/EmulatedBus.h"
#include "usbsdk/sdk/CameraSession.h"
#include "usbsdk/sdk/Protocol.h"

using namespace usbsdk;

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

struct Rig {
    std::shared_ptr<emulator::EmulatedBus> bus = std::make_shared<emulator::EmulatedBus>();
    std::shared_ptr<emulator::EmulatedCamera> camera = bus->addCamera();
    CameraSession session{SessionOptions{4096, 2}};
    Rig()
    {
        auto device = std::make_unique<UsbDevice>(bus);
        check(device->open(0));
        session.attach(std::move(device));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Rig rig;
    if (size < 1)
        return 0;
    std::vector<uint8_t> ack(data + 1, data + size);
    const uint16_t nextId = static_cast<uint16_t>(rig.session.lastRequestId() + 1);
    // Usually aim the fuzzed bytes at the right request id so that deeper checks run.
    if (ack.size() >= 12 && (data[0] & 0x80))
        protocol::put16(&ack[10], nextId);
    rig.camera->replaceNextAck(ack);
    const bool matchesRead = protocol::ackMatches(ack, protocol::Kind::SingleRead, nextId);
    switch (data[0] & 3) {
    case 0: {
        int32_t value = 0x5A5A5A5A;
        const int32_t rc = rig.session.getParam(0x1140, &value);
        if (rc == VEXEL_OK) {
            check(matchesRead && ack.size() >= 16);
            check(value == static_cast<int32_t>(protocol::get32(&ack[12])));
        } else {
            check(value == 0x5A5A5A5A);
        }
        check((rc == VEXEL_OK) == (rig.session.ctrlState() == 1));
        break;
    }
    case 1: {
        const int32_t rc = rig.session.setParam(0x1140, 5);
        if (rc == VEXEL_OK)
            check(protocol::ackMatches(ack, protocol::Kind::SingleWrite, nextId));
        break;
    }
    case 2: {
        std::vector<uint8_t> buffer(8192, 0xEE);
        int32_t length = -1;
        const int32_t rc = rig.session.getBlock(0x6480, buffer.data(), &length);
        if (rc == VEXEL_OK) {
            check(length == 8192 && ack.size() >= 12 + 8192);
            check(std::equal(buffer.begin(), buffer.end(), ack.begin() + 12));
        } else {
            check(length == -1);
        }
        break;
    }
    case 3: {
        const uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        const int32_t rc = rig.session.setBlock(0x0100, block, 8);
        if (rc == VEXEL_OK || rc == VEXEL_E_BLOCK_LENGTH) {
            check(protocol::ackMatches(ack, protocol::Kind::BlockWrite, nextId) && ack.size() >= 16);
            check((rc == VEXEL_OK) == (protocol::get32(&ack[12]) == 8));
        }
        break;
    }
    }
    return 0;
}

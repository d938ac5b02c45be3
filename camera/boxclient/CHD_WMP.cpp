// The C surface of the box client: handles, argument checks and the mapping
// of each call onto one protocol request.
#include "camera/boxclient/CHD_WMP.h"

#include "camera/boxclient/BoxProtocol.h"
#include "camera/boxclient/BoxScanner.h"
#include "camera/boxclient/BoxSession.h"

#include <memory>
#include <new>

using boxclient::BoxSession;
using boxproto::MsgType;

struct CHD_WMP_Device {
    std::unique_ptr<BoxSession> session;
};

namespace {
int call(CHD_WMP_HANDLE box, MsgType type, const std::vector<int32_t>& args, std::vector<int32_t>* fields = nullptr)
{
    if (!box || !box->session)
        return CHD_ERR_PARAM;
    return box->session->call(type, args, fields);
}
} // namespace

extern "C" {

int CHD_WMP_SetScanHosts(const char* hosts) { return boxclient::scanner().setHosts(hosts); }
int CHD_WMP_ScanDevice_Init(int mode) { return boxclient::scanner().start(mode); }

int CHD_WMP_ScanDevice_UnInit(void)
{
    boxclient::scanner().stop();
    return CHD_OK;
}

int CHD_WMP_Scan_GetDeviceInfo(CHD_WMP_SCAN_RECORD* records, int* count)
{
    return boxclient::scanner().records(records, count);
}

int CHD_WMP_ConnectDevice(CHD_WMP_HANDLE* box, const char* address, const char* accessCode)
{
    return CHD_WMP_ConnectDeviceCancellable(box, address, accessCode, nullptr, nullptr);
}

int CHD_WMP_ConnectDeviceCancellable(CHD_WMP_HANDLE* box, const char* address, const char* accessCode,
                                     int (*cancelled)(void* context), void* context)
{
    if (!box || !address)
        return CHD_ERR_PARAM;
    *box = nullptr;
    std::unique_ptr<BoxSession> session;
    boxclient::SessionTimeouts timeouts;
    if (cancelled)
        timeouts.cancelled = [cancelled, context] { return cancelled(context) != 0; };
    const int result = BoxSession::open(address, accessCode, timeouts, session);
    if (result != CHD_OK)
        return result;
    auto* device = new (std::nothrow) CHD_WMP_Device;
    if (!device)
        return CHD_ERR_NOMEM;
    device->session = std::move(session);
    *box = device;
    return CHD_OK;
}

int CHD_WMP_Disconnect(CHD_WMP_HANDLE box)
{
    if (!box)
        return CHD_ERR_PARAM;
    if (box->session)
        box->session->close();
    delete box;
    return CHD_OK;
}

int CHD_WMP_Video_Begin(CHD_WMP_HANDLE box) { return call(box, MsgType::VideoBegin, {}); }
int CHD_WMP_Video_End(CHD_WMP_HANDLE box) { return call(box, MsgType::VideoEnd, {}); }

int CHD_WMP_Video_GetAbility(CHD_WMP_HANDLE box, CHD_WMP_ABILITY* ability)
{
    if (!ability)
        return CHD_ERR_PARAM;
    std::vector<int32_t> fields;
    const int result = call(box, MsgType::GetAbility, {}, &fields);
    if (result != CHD_OK)
        return result;
    for (size_t i = 0; i < boxproto::kAbilityResolutions; ++i)
        ability->resolu[i] = fields[i];
    for (size_t i = 0; i < boxproto::kAbilityFormats; ++i)
        ability->format[i] = fields[boxproto::kAbilityResolutions + i];
    return CHD_OK;
}

int CHD_WMP_Video_GetResolu(CHD_WMP_HANDLE box, int* resolu)
{
    if (!resolu)
        return CHD_ERR_PARAM;
    std::vector<int32_t> fields;
    const int result = call(box, MsgType::GetResolu, {}, &fields);
    if (result == CHD_OK)
        *resolu = fields[0];
    return result;
}

int CHD_WMP_Video_SetResolu(CHD_WMP_HANDLE box, int resolu, int width, int height)
{
    return call(box, MsgType::SetResolu, {resolu, width, height});
}

int CHD_WMP_Video_GetFormat(CHD_WMP_HANDLE box, int* format)
{
    if (!format)
        return CHD_ERR_PARAM;
    std::vector<int32_t> fields;
    const int result = call(box, MsgType::GetFormat, {}, &fields);
    if (result == CHD_OK)
        *format = fields[0];
    return result;
}

int CHD_WMP_Video_SetFormat(CHD_WMP_HANDLE box, int format) { return call(box, MsgType::SetFormat, {format}); }

int CHD_WMP_Video_GetVideoCtrl(CHD_WMP_HANDLE box, int id, int ctrl[CHD_WMP_CTRL_FIELDS])
{
    if (!ctrl)
        return CHD_ERR_PARAM;
    std::vector<int32_t> fields;
    const int result = call(box, MsgType::GetCtrl, {id}, &fields);
    if (result == CHD_OK)
        for (size_t i = 0; i < boxproto::kControlFields; ++i)
            ctrl[i] = fields[i];
    return result;
}

int CHD_WMP_Video_SetVideoCtrl(CHD_WMP_HANDLE box, int id, const int ctrl[CHD_WMP_CTRL_FIELDS])
{
    if (!ctrl)
        return CHD_ERR_PARAM;
    std::vector<int32_t> args{id};
    args.insert(args.end(), ctrl, ctrl + CHD_WMP_CTRL_FIELDS);
    return call(box, MsgType::SetCtrl, args);
}

int CHD_WMP_Video_SnapShotResolu(CHD_WMP_HANDLE box, int resolu, int width, int height)
{
    return call(box, MsgType::Snapshot, {resolu, width, height});
}

int CHD_WMP_Poll(CHD_WMP_HANDLE box, int* flags, int timeoutMs)
{
    if (!box || !box->session)
        return CHD_ERR_PARAM;
    return box->session->poll(flags, timeoutMs);
}

int CHD_WMP_Video_RequestVideoData(CHD_WMP_HANDLE box, CHD_WMP_FRAME** frame)
{
    if (!box || !box->session)
        return CHD_ERR_PARAM;
    return box->session->lend(false, frame);
}

int CHD_WMP_Video_ReleaseVideoData(CHD_WMP_HANDLE box, CHD_WMP_FRAME* frame)
{
    if (!box || !box->session)
        return CHD_ERR_PARAM;
    return box->session->giveBack(false, frame);
}

int CHD_WMP_Video_RequestPicData(CHD_WMP_HANDLE box, CHD_WMP_FRAME** picture)
{
    if (!box || !box->session)
        return CHD_ERR_PARAM;
    return box->session->lend(true, picture);
}

int CHD_WMP_Video_ReleasePicData(CHD_WMP_HANDLE box, CHD_WMP_FRAME* picture)
{
    if (!box || !box->session)
        return CHD_ERR_PARAM;
    return box->session->giveBack(true, picture);
}

int CHD_Video_GroupResolu(int width, int height) { return boxproto::groupResolu(width, height); }

int CHD_Video_AnalysisResolu(int resolu, int* width, int* height)
{
    if (!width || !height)
        return CHD_ERR_PARAM;
    int w = 0, h = 0;
    if (!boxproto::analysisResolu(resolu, w, h))
        return CHD_ERR_PARAM;
    *width = w;
    *height = h;
    return CHD_OK;
}

} // extern "C"

#include "BoxModel.h"

#include <algorithm>

namespace boxsim {

using boxproto::MsgType;

namespace {
// id: min, max, default, automatic mode available, automatic target
struct ControlSpec {
    int min, max, def;
    bool autoAvailable;
    int autoTarget;
};
constexpr ControlSpec kControlSpecs[BoxModel::kControls] = {
    {-64, 64, 0, false, 0},         // 0 brightness
    {0, 100, 50, false, 0},         // 1 contrast
    {0, 100, 60, false, 0},         // 2 saturation
    {-180, 180, 0, false, 0},       // 3 hue
    {2800, 6500, 4600, true, 5200}, // 4 white balance temperature
    {100, 300, 100, false, 0},      // 5 gamma
    {0, 100, 0, false, 0},          // 6 gain
    {0, 15, 3, false, 0},           // 7 sharpness
    {0, 2, 1, false, 0},            // 8 backlight compensation
    {1, 5000, 156, true, 300},      // 9 exposure
};
} // namespace

BoxModel::BoxModel(const BoxConfig& config)
    : config_(config),
      resolution_(boxproto::groupResolu(config.resolutions.front().first, config.resolutions.front().second)),
      format_(config.initialFormat)
{
    for (int id = 0; id < kControls; ++id) {
        const ControlSpec& spec = kControlSpecs[id];
        Control& c = controls_[static_cast<size_t>(id)];
        c.min = spec.min;
        c.max = spec.max;
        c.def = c.value = spec.def;
        c.autoAvailable = spec.autoAvailable;
        c.autoTarget = spec.autoTarget;
        c.supported = std::find(config.unsupportedControls.begin(), config.unsupportedControls.end(), id) ==
                      config.unsupportedControls.end();
    }
}

bool BoxModel::accepts(const std::string& code) const { return !config_.accessCode || *config_.accessCode == code; }

bool BoxModel::validResolution(int32_t code) const
{
    return std::any_of(config_.resolutions.begin(), config_.resolutions.end(),
                       [code](const auto& r) { return boxproto::groupResolu(r.first, r.second) == code; });
}

int32_t BoxModel::resolution() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return resolution_;
}

int BoxModel::format() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return format_;
}

SceneControls BoxModel::scene() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return SceneControls{controls_[0].value, controls_[1].value, controls_[6].value};
}

void BoxModel::stepAutomatic()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (Control& c : controls_) {
        if (!c.autoOn || c.value == c.autoTarget)
            continue;
        const int step = std::max(1, std::abs(c.autoTarget - c.value) / 8);
        c.value += c.autoTarget > c.value ? step : -step;
    }
}

Reply BoxModel::control(int id) const
{
    if (id < 0 || id >= kControls)
        return Reply{boxproto::kStatusUnsupported, {}};
    const Control& c = controls_[static_cast<size_t>(id)];
    if (!c.supported)
        return Reply{boxproto::kStatusOk, {0, 0, 0, 0, 0, 0, 0, 0}};
    return Reply{boxproto::kStatusOk, {1, c.min, c.value, c.max, 0, c.def, c.autoAvailable ? 1 : 0, c.autoOn ? 1 : 0}};
}

Reply BoxModel::setControl(const std::vector<int32_t>& fields)
{
    const int id = fields[0];
    if (id < 0 || id >= kControls || !controls_[static_cast<size_t>(id)].supported)
        return Reply{boxproto::kStatusUnsupported, {}};
    Control& c = controls_[static_cast<size_t>(id)];
    const int value = fields[1 + 2];
    const bool automatic = fields[1 + 7] == 1;
    if (automatic && !c.autoAvailable)
        return Reply{boxproto::kStatusBadValue, {}};
    if (value < c.min || value > c.max)
        return Reply{boxproto::kStatusBadValue, {}};
    c.value = value;
    c.autoOn = automatic;
    return Reply{};
}

Reply BoxModel::handle(const boxproto::Request& request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto& f = request.fields;
    switch (static_cast<MsgType>(request.type)) {
    case MsgType::GetAbility: {
        Reply reply;
        reply.fields.assign(boxproto::kAbilityResolutions + boxproto::kAbilityFormats, 0);
        for (size_t i = 0; i < config_.resolutions.size() && i < boxproto::kAbilityResolutions; ++i)
            reply.fields[i] = boxproto::groupResolu(config_.resolutions[i].first, config_.resolutions[i].second);
        for (size_t i = 0; i < config_.formats.size() && i < boxproto::kAbilityFormats; ++i)
            reply.fields[boxproto::kAbilityResolutions + i] = config_.formats[i];
        return reply;
    }
    case MsgType::GetResolu: return Reply{boxproto::kStatusOk, {resolution_}};
    case MsgType::SetResolu: {
        int w = 0, h = 0;
        if (!validResolution(f[0]) || !boxproto::analysisResolu(f[0], w, h) || w != f[1] || h != f[2])
            return Reply{boxproto::kStatusBadValue, {}};
        resolution_ = f[0];
        return Reply{};
    }
    case MsgType::GetFormat: return Reply{boxproto::kStatusOk, {format_}};
    case MsgType::SetFormat:
        if (std::find(config_.formats.begin(), config_.formats.end(), f[0]) == config_.formats.end())
            return Reply{boxproto::kStatusUnsupported, {}};
        format_ = f[0];
        return Reply{};
    case MsgType::GetCtrl: return control(f[0]);
    case MsgType::SetCtrl: return setControl(f);
    default: return Reply{boxproto::kStatusBadRequest, {}};
    }
}

} // namespace boxsim

#include "app/shell/PictureSource.h"

#include "app/measure/PrimitiveFactory.h"
#include "app/view/FramePipeline.h"
#include "app/view/ImageRenderUI.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <filesystem>

namespace shell {
namespace {

std::string Text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

} // namespace

PictureSource::PictureSource(CPaintManagerUI& paint, CImageRenderUI& view, FramePipeline& pipeline)
    : m_paint(paint), m_view(view), m_pipeline(pipeline)
{
}

std::string PictureSource::setKey(SourceKind kind, const StillPicture* picture)
{
    switch (kind) {
    case SourceKind::Live: return "live:";
    case SourceKind::Frozen: return "frozen:";
    case SourceKind::File: return "file:" + (picture ? picture->path : std::string());
    case SourceKind::FocusStack: return "stack:";
    case SourceKind::Panorama: return "panorama:";
    }
    return "live:";
}

bool PictureSource::showStill(SourceKind kind, std::shared_ptr<const StillPicture> picture)
{
    if (kind == SourceKind::Live || !picture || picture->width <= 0 || picture->height <= 0 ||
        picture->rgba.size() < size_t(picture->width) * size_t(picture->height) * 4)
        return false;
    SFPrimitiveContainer& container = m_view.container();
    const std::string key = setKey(kind, picture.get());
    const std::string outgoing = setKey(m_kind, m_still.get());
    if (kind == SourceKind::File && key == outgoing) {
        // The same file again: a new look at the same picture and its set.
        m_view.showStill(picture->width, picture->height, picture->rgba.data());
        applyPictureScale(picture.get());
        m_still = std::move(picture);
        setLabel(kSourceField, sourceText());
        return true;
    }
    // A frozen frame starts with what was measured on the live picture.
    SFPrimitiveContainer::MeasurementSet incoming;
    if (kind == SourceKind::Frozen) {
        if (isLive())
            incoming = container.copyMeasurements();
        else
            for (const auto& primitive : m_parked[setKey(SourceKind::Live, nullptr)])
                if (primitive)
                    incoming.push_back(clonePrimitive(*primitive));
    } else if (kind == SourceKind::File) {
        incoming = std::move(m_parked[key]);
    }
    m_parked.erase(key);
    // The picture first, so the incoming set is placed under its fit and scale.
    m_view.showStill(picture->width, picture->height, picture->rgba.data());
    applyPictureScale(picture.get());
    m_parked[outgoing] = container.exchangeMeasurements(std::move(incoming));
    m_kind = kind;
    m_still = std::move(picture);
    setLabel(kSourceField, sourceText());
    return true;
}

void PictureSource::showLive()
{
    if (isLive())
        return;
    m_view.showLive();
    CWImage latest;
    latest.externalBuffer = false;
    if (m_pipeline.copyDisplayImage(latest))
        m_view.updateFrame(latest.width, latest.height, latest.data);
    applyPictureScale(nullptr);
    const std::string outgoing = setKey(m_kind, m_still.get());
    const std::string live = setKey(SourceKind::Live, nullptr);
    auto incoming = std::move(m_parked[live]);
    m_parked.erase(live);
    m_parked[outgoing] = m_view.container().exchangeMeasurements(std::move(incoming));
    m_kind = SourceKind::Live;
    m_still.reset();
    setLabel(kSourceField, sourceText());
}

void PictureSource::applyPictureScale(const StillPicture* picture)
{
    SFPrimitiveContainer& container = m_view.container();
    if (picture && picture->scale && picture->scale->pixelsPerUnit > 0) {
        if (!m_calibrationParked) {
            m_parkedFactor = container.calibration(m_parkedUnit);
            m_calibrationParked = true;
        }
        const std::string& unit = picture->scale->unit;
        const sf::String label = unit == "micron" ? sf::String(L"\u00B5m") : sf::String(unit);
        container.setCalibration(label, float(1.0 / picture->scale->pixelsPerUnit));
    } else if (m_calibrationParked) {
        m_calibrationParked = false;
        container.setCalibration(m_parkedUnit, m_parkedFactor);
    }
}

void PictureSource::setCameraPresent(bool present)
{
    m_cameraPresent = present;
    setLabel(kSourceField, sourceText());
}

void PictureSource::setModeText(const std::string& text) { setLabel(kModeField, text); }

void PictureSource::refreshTexts() { setLabel(kSourceField, sourceText()); }

std::string PictureSource::sourceText() const
{
    switch (m_kind) {
    case SourceKind::Live: return Text(m_cameraPresent ? "STR_SOURCE_LIVE" : "STR_SOURCE_NO_CAMERA");
    case SourceKind::Frozen: return Text("STR_SOURCE_FROZEN");
    case SourceKind::File: return m_still ? std::filesystem::path(m_still->path).filename().string() : std::string();
    case SourceKind::FocusStack: return Text("STR_SOURCE_FOCUS_STACK");
    case SourceKind::Panorama: return Text("STR_SOURCE_PANORAMA");
    }
    return std::string();
}

void PictureSource::setLabel(const char* name, const std::string& text)
{
    if (CControlUI* label = m_paint.FindControl(name))
        label->SetText(text);
}

} // namespace shell

#include "app/shell/PictureSource.h"

#include "app/measure/PrimitiveFactory.h"
#include "app/view/FramePipeline.h"
#include "app/view/ImageRenderUI.h"
#include "app/view/RenderCapability.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace shell {
namespace {

std::string Text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

// How many times larger `to` is than `from` when both show the same field
// (aspect ratios within 1 %, as the calibrations' picture-size rule has it);
// 1 otherwise.
float SameFieldScale(int fromWidth, int fromHeight, int toWidth, int toHeight)
{
    if (fromWidth <= 0 || fromHeight <= 0 || toWidth <= 0 || toHeight <= 0 || toWidth == fromWidth)
        return 1.0f;
    const double here = double(toWidth) * fromHeight, there = double(toHeight) * fromWidth;
    if (std::fabs(here - there) > 0.01 * std::max(here, there))
        return 1.0f;
    return float(double(toWidth) / fromWidth);
}

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

std::shared_ptr<StillPicture> CopyStill(int width, int height, const uint8_t* rgba, size_t stride)
{
    auto still = std::make_shared<StillPicture>();
    still->width = width;
    still->height = height;
    const size_t row = size_t(width) * 4;
    still->rgba.resize(row * size_t(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(still->rgba.data() + row * size_t(y), rgba + stride * size_t(y), row);
    return still;
}

void ReduceForView(const StillPicture& picture, std::vector<uint8_t>& reduced, int& width, int& height)
{
    const int longest = std::max(picture.width, picture.height);
    const int factor = (longest + int(kRequiredTextureSize) - 1) / int(kRequiredTextureSize);
    width = std::max(1, picture.width / factor);
    height = std::max(1, picture.height / factor);
    reduced.resize(size_t(width) * size_t(height) * 4);
    const cv::Mat full(picture.height, picture.width, CV_8UC4, const_cast<uint8_t*>(picture.rgba.data()));
    cv::Mat out(height, width, CV_8UC4, reduced.data());
    cv::resize(full, out, out.size(), 0, 0, cv::INTER_AREA);
}

void PrepareViewCopy(StillPicture& picture)
{
    const int longest = std::max(picture.width, picture.height);
    if (longest <= int(kRequiredTextureSize) || !picture.viewRgba.empty() ||
        picture.rgba.size() < size_t(picture.width) * size_t(picture.height) * 4)
        return;
    ReduceForView(picture, picture.viewRgba, picture.viewWidth, picture.viewHeight);
}

void PictureSource::putOnView(const std::shared_ptr<const StillPicture>& picture)
{
    // The view shares the picture's pixels for as long as it shows them.
    const std::shared_ptr<const uint8_t> full(picture, picture->rgba.data());
    if (!picture->viewRgba.empty()) {
        m_view.showStill(std::shared_ptr<const uint8_t>(picture, picture->viewRgba.data()), picture->viewWidth,
                         picture->viewHeight, picture->width, picture->height, full);
        return;
    }
    if (std::max(picture->width, picture->height) <= int(kRequiredTextureSize)) {
        m_view.showStill(full, picture->width, picture->height);
        return;
    }
    // A picture made without its reduced copy gets one here, on this thread.
    auto copy = std::make_shared<std::vector<uint8_t>>();
    int width = 0, height = 0;
    ReduceForView(*picture, *copy, width, height);
    m_view.showStill(std::shared_ptr<const uint8_t>(copy, copy->data()), width, height, picture->width, picture->height,
                     full);
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
        putOnView(picture);
        m_still = std::move(picture);
        applyPictureScale(m_still.get(), key);
        setLabel(kSourceField, sourceText());
        return true;
    }
    // A frozen frame starts with what was measured on the live picture.
    SFPrimitiveContainer::MeasurementSet incoming;
    if (kind == SourceKind::Frozen) {
        if (isLive()) {
            incoming = container.copyMeasurements();
            // A still of the live field at another size: the measurements
            // stay on what they measured (the calibration scales alike).
            int liveWidth = 0, liveHeight = 0;
            m_view.pictureSize(liveWidth, liveHeight);
            if (const float factor = SameFieldScale(liveWidth, liveHeight, picture->width, picture->height);
                factor != 1.0f)
                for (auto& primitive : incoming)
                    primitive->scalePicture(factor);
        } else {
            for (const auto& primitive : m_parked[setKey(SourceKind::Live, nullptr)])
                if (primitive)
                    incoming.push_back(clonePrimitive(*primitive));
        }
    } else if (kind == SourceKind::File) {
        incoming = std::move(m_parked[key]);
    }
    m_parked.erase(key);
    // The picture first, so the incoming set is placed under its fit and scale.
    putOnView(picture);
    applyPictureScale(picture.get(), key);
    m_parked[outgoing] = container.exchangeMeasurements(std::move(incoming));
    m_kind = kind;
    m_still = std::move(picture);
    // The set as it came counts as saved; a file left with unsaved
    // measurements keeps the mark of its last save.
    if (kind != SourceKind::File || m_savedMarks.count(key) == 0)
        m_savedMarks[key] = measurementFingerprint();
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
    applyPictureScale(nullptr, setKey(SourceKind::Live, nullptr));
    const std::string outgoing = setKey(m_kind, m_still.get());
    const std::string live = setKey(SourceKind::Live, nullptr);
    auto incoming = std::move(m_parked[live]);
    m_parked.erase(live);
    m_parked[outgoing] = m_view.container().exchangeMeasurements(std::move(incoming));
    m_kind = SourceKind::Live;
    m_still.reset();
    setLabel(kSourceField, sourceText());
}

void PictureSource::applyPictureScale(const StillPicture* picture, const std::string& key)
{
    const bool own = picture && picture->scale && picture->scale->pixelsPerUnit > 0;
    m_ownScaleInUse = own && m_scaleDeclined.count(key) == 0;
    if (m_ownScaleInUse) {
        const std::string& unit = picture->scale->unit;
        const sf::String label = unit == "micron" ? sf::String(L"\u00B5m") : sf::String(unit);
        m_view.container().setCalibration(label, float(1.0 / picture->scale->pixelsPerUnit));
    }
    // Always through the measure page: the calibration in force is the one
    // chosen now, whatever was in force when the picture was shown.
    if (m_applyCalibration)
        m_applyCalibration();
    if (CControlUI* button = m_paint.FindControl(kScaleButton)) {
        button->SetText(Text(m_ownScaleInUse ? "STR_SCALE_USE_CALIBRATION" : "STR_SCALE_USE_FILE"));
        button->SetVisible(own);
    }
}

bool PictureSource::hasOwnScale() const { return m_still && m_still->scale && m_still->scale->pixelsPerUnit > 0; }

void PictureSource::useOwnScale(bool use)
{
    if (!hasOwnScale())
        return;
    const std::string key = setKey(m_kind, m_still.get());
    if (use)
        m_scaleDeclined.erase(key);
    else
        m_scaleDeclined.insert(key);
    applyPictureScale(m_still.get(), key);
}

std::string PictureSource::measurementFingerprint() const
{
    // Where the measurements are, in picture pixels; lengths and areas
    // follow the scale, which is no change of the measurements.
    const SFPrimitiveContainer& container = m_view.container();
    std::string print;
    char part[128];
    for (int i = 0, n = container.count(); i < n; ++i) {
        const MeasureData data = container.measureData(i);
        std::snprintf(part, sizeof part, "%.1f,%.1f %.1f,%.1f %.1f,%.1f|", data.centerX, data.centerY, data.startX,
                      data.startY, data.endX, data.endY);
        print += part;
    }
    return print;
}

bool PictureSource::hasUnsavedMeasurements() const
{
    if (isLive() || m_view.container().count() == 0)
        return false;
    const auto mark = m_savedMarks.find(setKey(m_kind, m_still.get()));
    return mark == m_savedMarks.end() || mark->second != measurementFingerprint();
}

bool PictureSource::hasMeasurementsToLose() const
{
    if (m_view.container().count() == 0)
        return false;
    const auto mark = m_savedMarks.find(setKey(m_kind, m_still.get()));
    return mark == m_savedMarks.end() || mark->second != measurementFingerprint();
}

void PictureSource::markMeasurementsSaved(const std::string& fingerprint)
{
    m_savedMarks[setKey(m_kind, m_still.get())] = fingerprint;
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

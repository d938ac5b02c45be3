#pragma once
// PictureSource: the one place that knows what the main window's view shows:
// the live camera, a frozen frame, a picture file, or a picture the program
// made (a focus stack, a panorama). It puts the picture on the view, names it
// in the status bar's source field, and keeps each picture's measurements
// apart: a frozen frame starts with a copy of the live set (scaled to it
// when it is a still of the same field at another size), every other still
// starts empty, and showing a source again (live, the same file, the frozen
// frame) brings its set back. The status bar's mode field beside it belongs
// to long-running modes (a focus figure, panorama hints, time-lapse progress).
// A picture with a scale of its own (a calibrated TIFF) is measured in that
// scale while it is shown, unless the user chose the calibration in force
// for it; every other picture is measured in the calibration in force.
//
// Everything here runs on the UI thread.
#include "app/measure/SFPrimitiveContainer.h"
#include "app/shell/capture/ImageScale.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class CImageRenderUI;
class CPaintManagerUI;
class FramePipeline;

namespace shell {

enum class SourceKind { Live, Frozen, File, FocusStack, Panorama };

// A picture shown instead of the camera's frames.
struct StillPicture {
    std::vector<uint8_t> rgba; // width × height × 4 bytes R, G, B, A, rows top-down
    int width = 0;
    int height = 0;
    // The picture's own scale (a file's calibration); none: the calibration in force.
    std::optional<ImageScale> scale;
    // The file it came from; "" for pictures the program made.
    std::string path;
    // A reduced copy for the view when a side is longer than the texture
    // every graphics driver the program runs on can hold; the view draws it
    // stretched over width × height. Empty otherwise (see PrepareViewCopy).
    std::vector<uint8_t> viewRgba;
    int viewWidth = 0;
    int viewHeight = 0;
};

// Any thread. A picture the program made, from `height` rows of `width`
// R, G, B, A pixels that start `stride` bytes apart.
std::shared_ptr<StillPicture> CopyStill(int width, int height, const uint8_t* rgba, size_t stride);

// Any thread. Makes `picture`'s reduced copy for the view when it needs one
// (area-averaged, the same factor on both sides); nothing otherwise.
void PrepareViewCopy(StillPicture& picture);
// Any thread. That reduced copy (`width` × `height`) of a picture longer than
// the texture limit, into `reduced`.
void ReduceForView(const StillPicture& picture, std::vector<uint8_t>& reduced, int& width, int& height);

class PictureSource {
public:
    // The status bar's fields (labels of the main window's layout).
    static constexpr const char* kSourceField = "StatusBarLabelSource";
    static constexpr const char* kModeField = "StatusBarLabelMode";

    PictureSource(CPaintManagerUI& paint, CImageRenderUI& view, FramePipeline& pipeline);
    PictureSource(const PictureSource&) = delete;
    PictureSource& operator=(const PictureSource&) = delete;

    SourceKind kind() const { return m_kind; }
    bool isLive() const { return m_kind == SourceKind::Live; }
    // The still shown; null while the camera's frames are.
    const StillPicture* still() const { return m_still.get(); }
    // The same, shared, for work that outlives what is shown (a save).
    std::shared_ptr<const StillPicture> sharedStill() const { return m_still; }

    // Shows `picture` as a still of `kind` (not Live) from now on; the camera
    // keeps streaming (and recording) behind it. False, and nothing changed,
    // for an empty picture or Live.
    bool showStill(SourceKind kind, std::shared_ptr<const StillPicture> picture);
    // The camera's frames again, with the live measurements; the latest
    // converted frame is put up at once so they find the live picture's fit.
    void showLive();

    // The camera was opened, switched or closed: while live is shown the
    // source field says "Live" or "No camera".
    void setCameraPresent(bool present);
    // Writes `text` into the mode field ("" empties it).
    void setModeText(const std::string& text);
    // Re-applies the source field's text in the current language.
    void refreshTexts();

    // The source field's text for what is shown now.
    std::string sourceText() const;

    // The button beside the unit label that switches between a picture's
    // own scale and the calibration in force (shown only for such a picture).
    static constexpr const char* kScaleButton = "PictureBtnScale";
    // The still shown has a scale of its own.
    bool hasOwnScale() const;
    // The measurements use it now (the unit label says so).
    bool usesOwnScale() const { return m_ownScaleInUse; }
    // The picture's own scale, or the calibration in force instead; kept for
    // the picture while the program runs. Nothing without an own scale.
    void useOwnScale(bool use);
    // Puts the calibration in force on the measurements and names it in the
    // unit label; called whenever no own scale is used any more, and to
    // relabel when one is (the measure page gives it).
    void setCalibrationApplier(std::function<void()> apply) { m_applyCalibration = std::move(apply); }

    // The still's measurements changed since it was shown or last saved with
    // its measurements (live never has unsaved measurements).
    bool hasUnsavedMeasurements() const;
    // What the measurements are now, to hand to markMeasurementsSaved once
    // the save that took them succeeded.
    std::string measurementFingerprint() const;
    void markMeasurementsSaved(const std::string& fingerprint);
    // The measurements shown (live ones too) changed since they were last
    // exported or saved with the picture: closing the program loses them.
    bool hasMeasurementsToLose() const;

private:
    // Puts the picture (or its reduced copy) on the view, which shares it.
    void putOnView(const std::shared_ptr<const StillPicture>& picture);
    // A picture with a scale of its own measures in it unless declined; the
    // calibration in force is put back otherwise.
    void applyPictureScale(const StillPicture* picture, const std::string& key);
    // The key a source's measurement set is parked under.
    static std::string setKey(SourceKind kind, const StillPicture* picture);
    void setLabel(const char* name, const std::string& text);

    CPaintManagerUI& m_paint;
    CImageRenderUI& m_view;
    FramePipeline& m_pipeline;
    SourceKind m_kind = SourceKind::Live;
    std::shared_ptr<const StillPicture> m_still;
    bool m_cameraPresent = false;
    std::map<std::string, SFPrimitiveContainer::MeasurementSet> m_parked;
    bool m_ownScaleInUse = false;
    // Pictures (set keys) measured in the calibration in force by choice.
    std::set<std::string> m_scaleDeclined;
    std::function<void()> m_applyCalibration;
    // Per source: the measurements as last saved, or as they came.
    std::map<std::string, std::string> m_savedMarks;
};

} // namespace shell

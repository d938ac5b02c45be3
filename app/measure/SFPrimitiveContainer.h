#pragma once
#include "MeasureTypes.h"
#include "SFPrimitiveBase.h"

#include "app/common/AppMessages.h"

#include "platform/CriticalSection.h"
#include "platform/WindowMessages.h"

#include <SFML/Graphics/Drawable.hpp>
#include <SFML/Graphics/RenderTexture.hpp>
#include <SFML/Graphics/Transformable.hpp>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The render control's rectangle in the coordinates of its host window.
struct ViewRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Owns the measurements of one render view: turns its mouse events into
// creating, selecting, dragging and deleting primitives according to the
// current tool, draws them, applies calibration and colours and tells the main
// window what changed. The UI thread edits while the render thread draws and
// the frame thread may change the view transform; all go through `lock`.
class SFPrimitiveContainer : public sf::Drawable, public sf::Transformable {
public:
    SFPrimitiveContainer();
    ~SFPrimitiveContainer() override;
    SFPrimitiveContainer(const SFPrimitiveContainer&) = delete;
    SFPrimitiveContainer& operator=(const SFPrimitiveContainer&) = delete;

    // UI thread. Mouse events in host-window coordinates; each returns the
    // index of the current primitive (-1 = none). The change messages are sent
    // after the lock is released.
    int onMousePress(float x, float y);
    int onMouseMove(float x, float y);
    int onMouseRelease(float x, float y);
    int onSecondaryPress(float x, float y);

    // Any thread (the render view's refit, under its frame lock); a drag in
    // progress continues on its feature.
    void setViewTransform(float originX, float originY, float zoom);
    // UI thread.
    void setViewRect(const ViewRect& rect);
    void setNotifyWindow(platform::HWND window);

    void setTool(int newTool) { tool = newTool; }
    int currentTool() const { return tool; }
    int currentIndex() const { return hit.index; }

    // Any thread; each takes the lock for itself.
    int count() const;
    MeasureData measureData(int index) const;
    // UI thread; an index out of range does nothing.
    void removeAt(int index);
    // UI thread. Takes back the last add, delete or move (the delete tool's,
    // removeAt's or the move tool's); false when there is none or a button is
    // held. Deleting all, switching pictures and calibration mode forget them.
    bool undo();
    void clearAll(bool notify);
    // UI thread. The picture changed size at the user's request: every
    // measurement's picture coordinates p become p × scale + shift (picture
    // pixels), so the shapes stay on the specimen; the main window hears each
    // as changed. Steps to take back are forgotten (they hold old coordinates).
    void mapPictureCoordinates(float scale, float shiftX, float shiftY);
    // UI thread. Gives the text marker `index` its text; false (nothing
    // changed) for another kind of measurement or an index out of range.
    bool setMarkerText(int index, const sf::String& text);
    // UI thread. Takes back the add of measurement `index` when that add is
    // the last step; false otherwise.
    bool undoAdd(int index);
    void setCalibration(const sf::String& unitName, float factor);
    void setColors(sf::Color line, sf::Color edge, sf::Color dimension, sf::Color text, bool applyToAll);
    // The calibration in force: units per image pixel, and its unit.
    float calibration(sf::String& unit) const;
    // View pixels per image pixel of the current view transform.
    float viewZoom() const;
    // The colours given to new primitives (read by the colour dialog).
    sf::Color lineColor() const;
    sf::Color edgeColor() const;
    sf::Color dimensionColor() const;
    sf::Color textColor() const;

    // Entering parks the measurements and shows one calibration line under the
    // move tool; leaving deletes the line and brings them back with the tool.
    void setCalibrationMode(bool on);
    bool isCalibrationMode() const { return calibrationMode; }

    // The measurements of one picture, parked while another picture is shown.
    using MeasurementSet = std::vector<std::unique_ptr<SFPrimitiveBase>>;
    // UI thread. Hands back the measurements shown now and shows `set` in
    // their place, under the current view transform and calibration; nothing
    // stays current. The main window hears a clear and then every restored
    // primitive as added and changed, so its results list follows. In
    // calibration mode the parked measurements are exchanged instead.
    MeasurementSet exchangeMeasurements(MeasurementSet set);
    // UI thread. Independent copies of the measurements shown now.
    MeasurementSet copyMeasurements() const;

    // UI thread. Writes all measurements as CSV (truncating `path`); false when
    // the file could not be written (what was written may stay).
    bool exportCsv(const std::string& path, const std::string& unitName) const;

    // Frees the picture the measurements are drawn into; called by the
    // drawing thread when it stops drawing (GL objects are best released on
    // the thread that made them). The next draw makes a new one.
    void releaseDrawingCache();
    // Any thread. Moves on whenever the picture of the measurements other
    // than the current and the selected one must be drawn anew: the set, a
    // colour, the calibration or the view transform changed. Another current
    // or selected primitive only redraws the picture where it and the one
    // before it lie.
    unsigned drawingGeneration() const;
    // Drawing thread. Updates of that picture so far, whole or in part, and
    // the primitives drawn into it.
    unsigned cacheRebuildCount() const { return cacheRebuilds.load(); }
    unsigned cachedPrimitivesDrawn() const { return cacheItemsDrawn.load(); }

    // Runs `inspect` on primitive `index` under the lock (nothing when out of range).
    void withPrimitive(int index, const std::function<void(const SFPrimitiveBase&)>& inspect) const;

    // The lock the render view nests inside its own while drawing.
    platform::CriticalSection& lockObject() const { return *lock; }

protected:
    void draw(sf::RenderTarget& target, sf::RenderStates states) const override;

private:
    struct Message {
        platform::UINT id;
        platform::WPARAM wParam;
        platform::LPARAM lParam;
    };
    using Messages = std::vector<Message>;

    bool create(float x, float y, int createTool, int kind, Messages& out);
    // Host-window position to control-relative position.
    sf::Vector2f toControl(float x, float y) const;
    // Makes the primitive under (x, y) current, or none (lock held).
    void hitTestLocked(float x, float y);
    // A drag's snapshot is in the view coordinates of the transform it was
    // taken under; after a refit it continues from where the refit put the
    // dragged part, under the new transform (lock held).
    void rebaseDragLocked();
    void removeLocked(int index, Messages& out);
    // Under the lock: fits a primitive kept aside to the view and calibration in force.
    void fitLocked(SFPrimitiveBase& primitive) const;
    void forgetUndo();
    void send(const Messages& messages) const;
    SFPrimitiveBase* current() const;
    template <class F> void forEachPrimitive(F&& f);
    // UI thread. Publishes which primitives are drawn live (the current and
    // the selected one), notes those that stopped being live and, with
    // `changed`, moves the drawing generation on.
    void publish(bool changed);
    void publishLocked(bool changed);
    // Publishes when the operation that made it ends; the mouse operations
    // change only what is drawn live unless the live primitives change.
    struct ChangeMark {
        explicit ChangeMark(SFPrimitiveContainer& c, bool changesDrawing = true) : container(c), changed(changesDrawing)
        {
        }
        ~ChangeMark() { container.publish(changed); }
        ChangeMark(const ChangeMark&) = delete;
        ChangeMark& operator=(const ChangeMark&) = delete;
        SFPrimitiveContainer& container;
        bool changed;
    };

    std::vector<std::unique_ptr<SFPrimitiveBase>> primitives;
    std::vector<std::unique_ptr<SFPrimitiveBase>> savedPrimitives;
    // UI thread: what undo() takes back, the last step at the end.
    struct UndoStep {
        enum Kind { Added, Removed, Moved } kind;
        int index;
        std::unique_ptr<SFPrimitiveBase> primitive; // as it was (removed or before the move)
    };
    std::vector<UndoStep> undoSteps;
    // The primitive the move tool holds, as it was at the press.
    std::unique_ptr<SFPrimitiveBase> beforeMove;
    ViewRect viewRect;
    float viewOriginX = 0;
    float viewOriginY = 0;
    float zoom = 1.0f;
    float calibrationFactor = 1.0f;
    sf::String unitName = "px";
    int tool = ToolNone;
    int savedTool = ToolNone;
    bool buttonDown = false;
    HitInfo hit;
    // The view transform `hit` was taken under, and the last mouse position
    // (control-relative); UI thread.
    float hitOriginX = 0;
    float hitOriginY = 0;
    float hitZoom = 1.0f;
    sf::Vector2f lastMouse;
    bool idle = true;
    platform::HWND notifyWindow = nullptr;
    bool calibrationMode = false;
    sf::Color dimensionColor_ = sf::Color(255, 0, 0, 255);
    sf::Color lineColor_ = sf::Color(0, 255, 0, 255);
    sf::Color edgeColor_ = sf::Color(0, 0, 255, 255);
    sf::Color textColor_ = sf::Color(0, 255, 0, 255);
    std::unique_ptr<platform::CriticalSection> lock;

    // Under the lock: the drawing generation, the live primitives and those
    // that stopped being live since the drawing thread last looked (they may
    // have changed while they were drawn live).
    unsigned drawGeneration = 0;
    int liveCurrent = -1;
    int liveSelected = -1;
    mutable std::vector<int> leftLive;

    // Drawing thread: copies of the measurements (one per index, empty for
    // those drawn live when copied) and what each covers, drawn once into a
    // picture of the target's size and reused while the generation stays (a
    // live picture redraws many times a second, those measurements change
    // only when the operator works on them). When the live ones change, only
    // the areas they cover are drawn anew.
    using LivePair = std::array<int, 2>;
    // Draws the copies other than `live` that meet `area` into the picture, in
    // place of what it held there (view coordinates).
    void redrawArea(const sf::FloatRect& area, const LivePair& live) const;
    // Draws every copy other than `live` into the cleared picture.
    void redrawPicture(const sf::View& view, const LivePair& live) const;
    mutable std::vector<PrimitiveDrawing> cachedDrawing;
    mutable std::vector<sf::FloatRect> cachedBounds;
    mutable std::vector<int> recopied;
    mutable std::vector<sf::FloatRect> dirtyAreas;
    mutable std::vector<PrimitiveDrawing> liveDrawing;
    mutable LivePair pictureLive{-1, -1}; // left out of the picture
    mutable unsigned cachedGeneration = 0;
    mutable bool haveCachedDrawing = false;
    mutable std::unique_ptr<sf::RenderTexture> cache;
    mutable sf::Uint64 cacheContext = 0;
    mutable bool cacheValid = false;
    mutable std::atomic<unsigned> cacheRebuilds{0};
    mutable std::atomic<unsigned> cacheItemsDrawn{0};
    mutable std::shared_ptr<const sf::Font> drawingFont;
    mutable bool drawingFontLoaded = false;
};

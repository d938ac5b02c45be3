#pragma once
// CImageRenderUI: the control of the main window that shows the live picture,
// fitted into the control and letterboxed, with the measurements of its
// container over it and, while recording, a box with a pulsing symbol and the
// elapsed time. A render thread of its own draws with SFML into an X child
// window of the control's native window whenever something changed.
//
// Threads: the UI thread runs the framework operations, attachWindow,
// detachWindow, showRecordingIndicator and the mouse events;
// the capture thread, or the frame pipeline's decoding thread for MJPEG,
// hands over frames (updateFrame, updateReducedFrame); the render thread
// uploads the latest frame and draws, and starts a worker that cuts a region
// out of a large still when the zoom needs its full resolution. Locks,
// outermost first: `lock` (render window, texture, sprite; held for a whole
// drawing pass) → `frameLock` (the handed-over frame, the control size and
// the fit; held only briefly, so the capture thread never waits for a
// drawing pass) → the container's lock.

#include "app/common/AppMessages.h"
#include "app/measure/SFPrimitiveContainer.h"
#include "app/measure/ScaleBar.h"
#include "app/view/FrameSink.h"
#include "app/view/RoundedRectangleShape.h"
#include "app/view/SFAnimatedSprite.h"
#include "app/view/ViewGeometry.h"
#include "app/view/X11ChildWindow.h"
#include "platform/CriticalSection.h"
#include "platform/Event.h"
#include "ui/NativeWindowUI.h"

#include <SFML/Graphics/Font.hpp>
#include <SFML/Graphics/RenderWindow.hpp>
#include <SFML/Graphics/Sprite.hpp>
#include <SFML/Graphics/Text.hpp>
#include <SFML/Graphics/Texture.hpp>
#include <SFML/System/Clock.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CImageRenderUI : public CNativeWindowUI, public FrameSink {
public:
    // Time source of the recording indicator's elapsed time (replaceable for tests).
    using ElapsedClock = std::function<std::chrono::steady_clock::time_point()>;

    CImageRenderUI();
    ~CImageRenderUI() override;

    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;

    // Loads the recording symbol strip "images/recording.png" and the font
    // "fonts/fzht.ttf" from `folder` (default: the program's folder). False
    // when the strip is missing (then there is no indicator); a missing font
    // only leaves the time text empty.
    bool loadOverlayResources();
    bool loadOverlayResources(const std::string& folder);

    // Creates the child window in the control's native window, the render
    // window on it, and starts the render thread; measurement messages and
    // the full-screen toggle go to `mainWindow`. 0 when there is no main
    // window or no X11 display, else 1 (also when already attached).
    int attachWindow(platform::HWND mainWindow);
    // Stops the render thread, closes the render window and the child window
    // and returns the main window given to attachWindow (null when detached).
    platform::HWND detachWindow();
    bool isAttached() const { return owner_ != nullptr; }
    // The render thread runs (attached, and the native window still exists).
    bool isRendering() const { return running_.load(); }

    // One converted frame (capture thread): width × height × 4 bytes R, G, B, A.
    // Ignored while a still picture is shown.
    void updateFrame(int width, int height, const uint8_t* rgbaPixels) override;
    // Any thread. 4 while the view shows the picture at 25 % or less, 2 at
    // 50 % or less, else 1: a reduced texture is drawn stretched to the full
    // picture, so fit, zoom and measurements stay in full-size pixels.
    int pictureReduction() const override;
    // Capture or decoding thread. A camera frame, possibly decoded reduced
    // (see FrameSink).
    void updateReducedFrame(int width, int height, const uint8_t* rgbaPixels, int fullWidth, int fullHeight,
                            FrameTime dequeued) override;

    // UI thread. Shows a still picture (width × height × 4 bytes R, G, B, A)
    // instead of the camera's frames, which are ignored from now on until
    // showLive(); a frame the capture thread hands over at the same moment
    // never replaces it. The view keeps `rgba` (which must not change while
    // shown) and the render thread uploads it: nothing is copied here, so a
    // large picture costs the window nothing. The picture may be a reduced
    // copy of a larger one: `fullWidth` × `fullHeight` is the size the fit
    // and the measurements count in (0: the copy's own size), and `fullRgba`
    // (that larger picture, optional) gives the detail where the zoom shows
    // fewer of its pixels than a texture holds: the render thread draws that
    // region from it over the copy, cut out on a worker of its own. Nothing
    // changes for an empty picture.
    void showStill(std::shared_ptr<const uint8_t> rgba, int width, int height, int fullWidth = 0, int fullHeight = 0,
                   std::shared_ptr<const uint8_t> fullRgba = {});
    // UI thread. The camera's frames reach the view again from the next one on.
    void showLive();
    // UI thread. The view shows no picture (black, the measurements stay)
    // until the next frame or still arrives: no camera is open any more.
    void clearPicture();
    // Any thread.
    bool isShowingStill() const;
    // Any thread. The size the fit counts in (the full size of a reduced still).
    void pictureSize(int& width, int& height) const;

    // Any thread. Saves the next drawn picture (picture and overlays, the
    // control's size) to `path`; the format follows the extension. Served by
    // the next pass that starts after the request, one of its own when
    // nothing else changes (a still picture draws no passes otherwise).
    void requestSnapshot(const std::string& path);
    // Passes that saved a snapshot so far (whether or not the file was written).
    int snapshotsServed() const { return snapshotsServed_.load(); }
    bool lastSnapshotSaved() const { return lastSnapshotSaved_.load(); }

    void showRecordingIndicator(bool on);
    bool isRecordingIndicatorShown() const { return recording_.load(); }
    void setElapsedClock(ElapsedClock clock);
    // Any thread. The time the recording indicator shows (zero while it is
    // hidden): the one clock the status bar's recording line reads as well.
    std::chrono::steady_clock::duration recordingElapsed() const;

    // The measurements of this view (tools, colours, calibration, export).
    SFPrimitiveContainer& container() { return container_; }
    // The scale bar at the bottom right, over the measurements (and in snapshots).
    void showScaleBar(bool on);
    bool isScaleBarShown() const { return scaleBar_.isShown(); }

    // The transform of the current picture into the control (fit, zoom and pan).
    ViewFit currentFit() const;

    // UI thread. Zoom and pan: only the transform changes, the picture's
    // coordinates (and every measurement's) stay. Points are control pixels;
    // the scale stays between the fit and 16 view pixels per image pixel.
    // The main window hears WM_RENDER_ZOOM_CHANGED when the percentage changes.
    void zoomAbout(float factor, float x, float y);
    // One image pixel per view pixel, about the pointer when it is over the
    // view, else about the centre.
    void zoomToActualSize();
    void zoomToFit();
    void panBy(float dx, float dy);
    // Any thread. The zoom in per cent of one view pixel per image pixel.
    int zoomPercent() const;
    // Any thread. The part of the control the picture covers, in control pixels.
    sf::FloatRect visiblePicture() const;
    // UI thread. A key message (keyState = its lParam): + and - zoom about the
    // pointer, Ctrl+0 fits, Ctrl+1 shows 1:1, Space held makes the left
    // button pan. True when the key was the view's; keys a text box has are
    // never taken, a release always is heard.
    bool handleKey(WPARAM vk, LPARAM keyState, bool down);
    // Drawing passes completed so far.
    int passesDrawn() const { return passesDrawn_.load(); }
    // Runs on the render thread in the middle of every pass, after the frame
    // was taken (tests use it to change things while a pass is drawn).
    void setPassObserver(std::function<void()> observer);
    // Runs once on the render thread after the first pass that drew a
    // camera picture (the program logs its start-up time with it).
    void setFirstPictureObserver(std::function<void()> observer);
    // Any thread. Runs on the render thread after each pass that drew a new
    // camera picture whose frame's dequeue time is known, with that time
    // (the benchmarks measure the delay to the screen with it).
    void setDrawnPictureObserver(std::function<void(FrameTime dequeued)> observer);

    void SetPos(RECT rc, bool bNeedInvalidate = true) override;
    void SetInternVisible(bool visible = true) override;
    void DoEvent(TEventUI& event) override;

protected:
    void OnNativeWindowDestroying() override;

private:
    void markDirty();
    void renderLoop();
    void renderPass();
    // Takes the handed-over frame and, under the same lock, a pending snapshot
    // request (true and its path), so a snapshot never shows a picture that
    // was taken before the request.
    bool takeFrame(std::string& snapshotPath);
    void drawRecordingOverlay();
    void saveSnapshot(const std::string& path);
    void stopRenderThread();
    // A render window of width × height device pixels showing viewWidth ×
    // viewHeight control pixels.
    void recreateRenderWindow(int width, int height, int viewWidth, int viewHeight);
    void closeRenderWindow();
    // Recomputes the fit for the current image and control size (frameLock held).
    void refitLocked();
    // Gives the zoom to the container and reports a new percentage (frameLock held).
    void applyZoomLocked();
    // The same after a change, and a redraw (frameLock held).
    void zoomChangedLocked(bool changed);
    // Middle button, or left button with Space held: the mouse pans.
    bool panEvent(const TEventUI& event, float x, float y);
    // Takes over a picture to upload; the fit counts in fullWidth × fullHeight
    // (frameLock held).
    void acceptPictureLocked(int width, int height, const uint8_t* rgbaPixels, int fullWidth, int fullHeight,
                             FrameTime dequeued = {});
    // The same for a size of picture, whatever holds its pixels (frameLock held).
    void acceptSizeLocked(int width, int height, int fullWidth, int fullHeight);
    // Render thread: uploads a finished full-resolution region, and starts
    // cutting out the one the zoom needs when the region drawn does not
    // cover what is visible. True when the region is to be drawn.
    bool updateDetailRegion();

    std::function<void()> firstPictureObserver_;          // under frameLock_
    std::function<void(FrameTime)> drawnPictureObserver_; // under frameLock_
    FrameTime pendingDequeued_{};                         // under frameLock_
    bool firstPictureDrawn_ = false;                      // render thread
    FrameTime takenDequeued_{};                           // render thread: of the frame this pass took
    X11ChildWindow childWindow_;
    platform::HWND owner_ = nullptr;

    // Guarded by frameLock_: the frame handed over by the capture thread, the
    // control's size, the image size the fit was computed for and the zoom.
    mutable std::mutex frameLock_;
    std::vector<uint8_t> pendingPixels_;
    int pendingWidth_ = 0;
    int pendingHeight_ = 0;
    bool framePending_ = false;
    bool stillShown_ = false;
    bool pictureCleared_ = false;
    // A still's pixels waiting for the upload, shared rather than copied.
    std::shared_ptr<const uint8_t> pendingStill_;
    // The full-size picture of a reduced still (null otherwise), and a count
    // of the stills put up, so a region cut from an earlier one is dropped.
    std::shared_ptr<const uint8_t> fullPicture_;
    unsigned stillGeneration_ = 0;
    // Image pixels per texture pixel: above 1 for the reduced copy of a large still.
    float textureScale_ = 1.0f;
    int controlWidth_ = 0;
    int controlHeight_ = 0;
    int imageWidth_ = 0;
    int imageHeight_ = 0;
    ViewZoom zoom_;
    int reportedZoomPercent_ = 0;
    // The main window while attached: it hears the picture size and the zoom.
    platform::HWND reportWindow_ = nullptr;
    std::string snapshotPath_;
    bool snapshotRequested_ = false;
    ElapsedClock elapsedClock_;
    std::chrono::steady_clock::time_point recordingStart_;
    std::function<void()> passObserver_;

    // Guarded by lock_ (render thread during a pass, UI thread while
    // recreating the render window).
    platform::CriticalSection lock_;
    std::vector<uint8_t> uploadPixels_;
    std::shared_ptr<const uint8_t> uploadStill_;
    ViewFit passFit_; // the fit this pass draws with
    // A region of the full picture at full resolution, drawn over the
    // reduced copy while the zoom needs it; cut out by regionThread_.
    struct DetailRegion {
        std::vector<uint8_t> rgba;
        sf::IntRect area; // in full-size picture pixels
        unsigned generation = 0;
    };
    std::future<DetailRegion> regionWork_;
    std::thread regionThread_;
    sf::Texture regionTexture_;
    sf::Sprite regionSprite_;
    sf::IntRect regionArea_; // of the texture; empty: none
    unsigned regionGeneration_ = 0;
    sf::Texture frameTexture_;
    sf::Sprite frameSprite_;
    SFPrimitiveContainer container_;
    ScaleBar scaleBar_;
    sf::Texture indicatorTexture_;
    std::vector<sf::IntRect> indicatorFrames_;
    SFAnimatedSprite indicatorSprite_;
    sf::Clock frameClock_;
    sf::Text elapsedText_;
    sf::Font overlayFont_;
    sf::RenderWindow renderWindow_;
    int windowWidth_ = 0;
    int windowHeight_ = 0;

    // UI thread: the pointer over the view, Space held, a pan in progress.
    bool pointerInside_ = false;
    float pointerX_ = 0, pointerY_ = 0;
    bool spaceHeld_ = false;
    int panButton_ = 0; // the button-down event that started the pan, 0: none
    float panFromX_ = 0, panFromY_ = 0;

    std::atomic<bool> recording_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> dirty_{false};
    std::atomic<int> passesDrawn_{0};
    std::atomic<int> snapshotsServed_{0};
    std::atomic<bool> lastSnapshotSaved_{false};
    platform::Event wakeEvent_{false, false};
    std::thread renderThread_;
};

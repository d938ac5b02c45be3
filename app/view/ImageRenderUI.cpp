#include "app/view/ImageRenderUI.h"

#include "app/view/PictureFile.h"
#include "app/view/RenderCapability.h"

#include "platform/DebugOutput.h"
#include "platform/UserFolders.h"

#include <SFML/Graphics/Image.hpp>
#include <SFML/Window/Context.hpp>
#include <SFML/Window/Event.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Scoped entry into a platform critical section.
class Enter {
public:
    explicit Enter(platform::CriticalSection& section) : section_(section) { section_.enter(); }
    ~Enter() { section_.leave(); }
    Enter(const Enter&) = delete;
    Enter& operator=(const Enter&) = delete;

private:
    platform::CriticalSection& section_;
};

constexpr int kIndicatorFrameCount = 30;
constexpr int kIndicatorFrameSize = 20;
constexpr uint32_t kPollMs = 3;

} // namespace

CImageRenderUI::CImageRenderUI() : elapsedClock_([] { return std::chrono::steady_clock::now(); })
{
    indicatorSprite_.setFrameTime(sf::seconds(0.2f));
}

CImageRenderUI::~CImageRenderUI()
{
    if (owner_)
        detachWindow();
    stopRenderThread();
    closeRenderWindow();
}

LPCTSTR CImageRenderUI::GetClass() const { return "ImageRenderUI"; }

void* CImageRenderUI::GetInterface(LPCTSTR pstrName)
{
    return std::strcmp(pstrName, "ImageRender") == 0 ? this : CNativeWindowUI::GetInterface(pstrName);
}

bool CImageRenderUI::loadOverlayResources() { return loadOverlayResources(platform::dataFolder()); }

bool CImageRenderUI::loadOverlayResources(const std::string& folder)
{
    if (folder.empty())
        return false;
    Enter guard(lock_);
    if (!indicatorTexture_.loadFromFile(folder + "/images/recording.png"))
        return false;
    indicatorFrames_.clear();
    for (int i = 0; i < kIndicatorFrameCount; ++i)
        indicatorFrames_.emplace_back(i * kIndicatorFrameSize, 0, kIndicatorFrameSize, kIndicatorFrameSize);
    indicatorSprite_.setFrameTime(sf::seconds(0.1f));
    indicatorSprite_.setPosition(15.f, 17.f);
    if (overlayFont_.loadFromFile(folder + "/fonts/fzht.ttf")) {
        elapsedText_.setFont(overlayFont_);
        elapsedText_.setCharacterSize(24);
        elapsedText_.setFillColor(sf::Color(255, 255, 255, 255));
        elapsedText_.setStyle(sf::Text::Bold);
        elapsedText_.setPosition(44.f, 11.f);
    }
    return true;
}

int CImageRenderUI::attachWindow(platform::HWND mainWindow)
{
    if (!mainWindow)
        return 0;
    if (owner_)
        return 1;
    void* display = NativeDisplay();
    const unsigned long parent = NativeWindowId();
    if (!display || !parent)
        return 0;
    // The control's window must exist on the server before a child joins it.
    X11ChildWindow::flush(display);
    const RECT rc = GetPos();
    const double ratio = DevicePixelRatio();
    if (!childWindow_.create(parent, int(std::lround(rc.width() * ratio)), int(std::lround(rc.height() * ratio))))
        return 0;
    childWindow_.setFocusFallback(TopLevelWindowId());
    owner_ = mainWindow;
    container_.setNotifyWindow(mainWindow);
    {
        std::lock_guard guard(frameLock_);
        reportWindow_ = mainWindow;
        reportedZoomPercent_ = 0;
    }
    windowWidth_ = windowHeight_ = 0;
    SetPos(rc, false);
    running_ = true;
    renderThread_ = std::thread(&CImageRenderUI::renderLoop, this);
    markDirty();
    return 1;
}

platform::HWND CImageRenderUI::detachWindow()
{
    stopRenderThread();
    closeRenderWindow();
    childWindow_.destroy();
    container_.setNotifyWindow(nullptr);
    {
        std::lock_guard guard(frameLock_);
        reportWindow_ = nullptr;
    }
    platform::HWND owner = owner_;
    owner_ = nullptr;
    return owner;
}

void CImageRenderUI::OnNativeWindowDestroying()
{
    // X destroys the child with its parent: nothing may draw into it any more.
    stopRenderThread();
    closeRenderWindow();
    childWindow_.destroy();
}

void CImageRenderUI::stopRenderThread()
{
    running_ = false;
    wakeEvent_.set();
    if (renderThread_.joinable())
        renderThread_.join();
    if (regionThread_.joinable())
        regionThread_.join();
    regionWork_ = {};
}

void CImageRenderUI::closeRenderWindow()
{
    {
        Enter guard(lock_);
        if (!renderWindow_.isOpen())
            return;
        renderWindow_.close();
        windowWidth_ = windowHeight_ = 0;
    }
    // A throw-away context makes SFML finish what it still has pending for
    // the closed window's context.
    sf::Context flush;
}

void CImageRenderUI::recreateRenderWindow(int width, int height, int viewWidth, int viewHeight)
{
    Enter guard(lock_);
    renderWindow_.close();
    const unsigned long focusBefore = childWindow_.focusedWindow();
    renderWindow_.create(childWindow_.handle(), sf::ContextSettings(0, 0, 4, 1, 1));
    // Taking the window gave it the keyboard focus; the keys (F11, Escape,
    // Enter) belong to the main window.
    childWindow_.handBackFocus(focusBefore, TopLevelWindowId());
    // The window has device pixels; everything is drawn in control pixels
    // (the fit, the measurements and the mouse all use those).
    renderWindow_.setView(sf::View(sf::FloatRect(0.0f, 0.0f, float(viewWidth), float(viewHeight))));
    // The render thread makes the context current for each pass.
    renderWindow_.setActive(false);
    windowWidth_ = width;
    windowHeight_ = height;
}

void CImageRenderUI::updateFrame(int width, int height, const uint8_t* rgbaPixels)
{
    updateReducedFrame(width, height, rgbaPixels, width, height, {});
}

void CImageRenderUI::updateReducedFrame(int width, int height, const uint8_t* rgbaPixels, int fullWidth, int fullHeight,
                                        FrameTime dequeued)
{
    if (width <= 0 || height <= 0 || !rgbaPixels || fullWidth < width || fullHeight < height)
        return;
    {
        std::lock_guard guard(frameLock_);
        if (stillShown_)
            return;
        acceptPictureLocked(width, height, rgbaPixels, fullWidth, fullHeight, dequeued);
    }
    markDirty();
}

int CImageRenderUI::pictureReduction() const
{
    const int percent = zoomPercent();
    return percent <= 0 ? 1 : percent <= 25 ? 4 : percent <= 50 ? 2 : 1;
}

void CImageRenderUI::showStill(std::shared_ptr<const uint8_t> rgba, int width, int height, int fullWidth,
                               int fullHeight, std::shared_ptr<const uint8_t> fullRgba)
{
    if (width <= 0 || height <= 0 || !rgba)
        return;
    if (fullWidth <= 0 || fullHeight <= 0) {
        fullWidth = width;
        fullHeight = height;
    }
    {
        std::lock_guard guard(frameLock_);
        stillShown_ = true;
        acceptSizeLocked(width, height, fullWidth, fullHeight);
        pendingDequeued_ = {};
        pendingStill_ = std::move(rgba);
        fullPicture_ = fullWidth > width || fullHeight > height ? std::move(fullRgba) : nullptr;
        ++stillGeneration_;
    }
    markDirty();
}

void CImageRenderUI::showLive()
{
    std::lock_guard guard(frameLock_);
    stillShown_ = false;
    fullPicture_.reset();
    ++stillGeneration_;
}

void CImageRenderUI::clearPicture()
{
    {
        std::lock_guard guard(frameLock_);
        framePending_ = false;
        pendingStill_.reset();
        fullPicture_.reset();
        ++stillGeneration_;
        pictureCleared_ = true;
    }
    markDirty();
}

bool CImageRenderUI::isShowingStill() const
{
    std::lock_guard guard(frameLock_);
    return stillShown_;
}

void CImageRenderUI::pictureSize(int& width, int& height) const
{
    std::lock_guard guard(frameLock_);
    width = imageWidth_;
    height = imageHeight_;
}

void CImageRenderUI::acceptPictureLocked(int width, int height, const uint8_t* rgbaPixels, int fullWidth,
                                         int fullHeight, FrameTime dequeued)
{
    const size_t bytes = size_t(width) * size_t(height) * 4;
    pendingPixels_.resize(bytes);
    std::memcpy(pendingPixels_.data(), rgbaPixels, bytes);
    pendingStill_.reset();
    pendingDequeued_ = dequeued;
    acceptSizeLocked(width, height, fullWidth, fullHeight);
}

void CImageRenderUI::acceptSizeLocked(int width, int height, int fullWidth, int fullHeight)
{
    pendingWidth_ = width;
    pendingHeight_ = height;
    framePending_ = true;
    pictureCleared_ = false;
    textureScale_ = float(fullWidth) / float(width);
    if (fullWidth != imageWidth_ || fullHeight != imageHeight_) {
        imageWidth_ = fullWidth;
        imageHeight_ = fullHeight;
        refitLocked();
        // The calibration counts pixels of one picture size.
        if (reportWindow_)
            platform::PostMessage(reportWindow_, WM_RENDER_PICTURE_SIZE, platform::WPARAM(fullWidth),
                                  platform::LPARAM(fullHeight));
    }
}

void CImageRenderUI::refitLocked()
{
    if (imageWidth_ <= 0 || imageHeight_ <= 0 || controlWidth_ <= 0 || controlHeight_ <= 0)
        return;
    zoom_.setSizes(imageWidth_, imageHeight_, float(controlWidth_), float(controlHeight_));
    applyZoomLocked();
}

void CImageRenderUI::applyZoomLocked()
{
    const ViewFit& fit = zoom_.transform();
    container_.setViewTransform(fit.originX, fit.originY, fit.zoom);
    const int percent = zoom_.percent();
    if (percent != reportedZoomPercent_) {
        reportedZoomPercent_ = percent;
        if (reportWindow_)
            platform::PostMessage(reportWindow_, WM_RENDER_ZOOM_CHANGED, platform::WPARAM(percent), 0);
    }
}

sf::FloatRect CImageRenderUI::visiblePicture() const
{
    std::lock_guard guard(frameLock_);
    const ViewFit& fit = zoom_.transform();
    const float left = std::max(0.0f, fit.originX);
    const float top = std::max(0.0f, fit.originY);
    const float right = std::min(float(controlWidth_), fit.originX + float(imageWidth_) * fit.zoom);
    const float bottom = std::min(float(controlHeight_), fit.originY + float(imageHeight_) * fit.zoom);
    return sf::FloatRect(left, top, std::max(0.0f, right - left), std::max(0.0f, bottom - top));
}

void CImageRenderUI::zoomAbout(float factor, float x, float y)
{
    std::lock_guard guard(frameLock_);
    zoomChangedLocked(zoom_.zoomAbout(factor, x, y));
}

void CImageRenderUI::zoomToActualSize()
{
    std::lock_guard guard(frameLock_);
    const float x = pointerInside_ ? pointerX_ : float(controlWidth_) * 0.5f;
    const float y = pointerInside_ ? pointerY_ : float(controlHeight_) * 0.5f;
    zoomChangedLocked(zoom_.setScaleAbout(1.0f, x, y));
}

void CImageRenderUI::zoomToFit()
{
    std::lock_guard guard(frameLock_);
    zoomChangedLocked(zoom_.fit());
}

void CImageRenderUI::panBy(float dx, float dy)
{
    std::lock_guard guard(frameLock_);
    zoomChangedLocked(zoom_.panBy(dx, dy));
}

int CImageRenderUI::zoomPercent() const
{
    std::lock_guard guard(frameLock_);
    return zoom_.percent();
}

void CImageRenderUI::zoomChangedLocked(bool changed)
{
    if (!changed)
        return;
    applyZoomLocked();
    markDirty();
}

bool CImageRenderUI::handleKey(WPARAM vk, LPARAM keyState, bool down)
{
    if (!down) {
        if (vk == VK_SPACE && spaceHeld_) {
            spaceHeld_ = false;
            return true;
        }
        return false;
    }
    if (!KeyIsFree(keyState))
        return false;
    const LPARAM modifiers = KeyModifiers(keyState);
    const float x = pointerInside_ ? pointerX_ : float(GetPos().width()) * 0.5f;
    const float y = pointerInside_ ? pointerY_ : float(GetPos().height()) * 0.5f;
    constexpr float kKeyStep = 1.4142136f; // two presses double the scale
    if ((vk == VK_OEM_PLUS || vk == VK_OEM_MINUS) && (modifiers & ~KEYSTATE_SHIFT) == 0) {
        zoomAbout(vk == VK_OEM_PLUS ? kKeyStep : 1.0f / kKeyStep, x, y);
        return true;
    }
    if (modifiers == KEYSTATE_CONTROL && vk == '0') {
        zoomToFit();
        return true;
    }
    if (modifiers == KEYSTATE_CONTROL && vk == '1') {
        zoomToActualSize();
        return true;
    }
    if (vk == VK_SPACE && modifiers == 0) {
        spaceHeld_ = true;
        return true;
    }
    return false;
}

bool CImageRenderUI::panEvent(const TEventUI& event, float x, float y)
{
    switch (event.Type) {
    case UIEVENT_MBUTTONDOWN:
    case UIEVENT_BUTTONDOWN:
        if (panButton_ || (event.Type == UIEVENT_BUTTONDOWN && !spaceHeld_))
            return panButton_ != 0;
        panButton_ = event.Type;
        break;
    case UIEVENT_MOUSEMOVE:
        if (!panButton_)
            return false;
        panBy(x - panFromX_, y - panFromY_);
        break;
    case UIEVENT_MBUTTONUP:
    case UIEVENT_BUTTONUP:
        if (!panButton_)
            return false;
        // The other button's release leaves the pan running.
        if ((event.Type == UIEVENT_MBUTTONUP) == (panButton_ == UIEVENT_MBUTTONDOWN))
            panButton_ = 0;
        break;
    default: return false;
    }
    panFromX_ = x;
    panFromY_ = y;
    return true;
}

ViewFit CImageRenderUI::currentFit() const
{
    std::lock_guard guard(frameLock_);
    return zoom_.transform();
}

void CImageRenderUI::requestSnapshot(const std::string& path)
{
    {
        std::lock_guard guard(frameLock_);
        snapshotPath_ = path;
        snapshotRequested_ = true;
    }
    // A still picture draws no passes of its own.
    markDirty();
}

void CImageRenderUI::showRecordingIndicator(bool on)
{
    if (on) {
        std::lock_guard guard(frameLock_);
        recordingStart_ = elapsedClock_();
    }
    recording_ = on;
    markDirty();
}

void CImageRenderUI::showScaleBar(bool on)
{
    scaleBar_.setShown(on);
    markDirty();
}

void CImageRenderUI::setElapsedClock(ElapsedClock clock)
{
    std::lock_guard guard(frameLock_);
    elapsedClock_ = std::move(clock);
}

std::chrono::steady_clock::duration CImageRenderUI::recordingElapsed() const
{
    if (!recording_)
        return {};
    std::lock_guard guard(frameLock_);
    return elapsedClock_() - recordingStart_;
}

void CImageRenderUI::setPassObserver(std::function<void()> observer)
{
    std::lock_guard guard(frameLock_);
    passObserver_ = std::move(observer);
}

void CImageRenderUI::SetPos(RECT rc, bool bNeedInvalidate)
{
    CNativeWindowUI::SetPos(rc, bNeedInvalidate);
    if (rc.right <= rc.left || rc.bottom <= rc.top)
        return;
    const int width = rc.width();
    const int height = rc.height();
    container_.setViewRect(ViewRect{rc.left, rc.top, rc.right, rc.bottom});
    {
        std::lock_guard guard(frameLock_);
        controlWidth_ = width;
        controlHeight_ = height;
        refitLocked();
    }
    if (!childWindow_.isValid())
        return;
    // The child follows its parent when the control only moves; a new size
    // needs a render window (and framebuffer) of that size.
    const double ratio = DevicePixelRatio();
    const int deviceWidth = int(std::lround(width * ratio));
    const int deviceHeight = int(std::lround(height * ratio));
    if (deviceWidth != windowWidth_ || deviceHeight != windowHeight_) {
        childWindow_.resize(deviceWidth, deviceHeight);
        recreateRenderWindow(deviceWidth, deviceHeight, width, height);
    }
    markDirty();
}

void CImageRenderUI::SetInternVisible(bool visible)
{
    CNativeWindowUI::SetInternVisible(visible);
    childWindow_.setVisible(visible);
    if (visible)
        markDirty();
}

void CImageRenderUI::DoEvent(TEventUI& event)
{
    const float x = float(event.ptMouse.x);
    const float y = float(event.ptMouse.y);
    // Zoom, pan and the keys' pointer work in control pixels.
    const RECT pos = GetPos();
    const float controlX = x - float(pos.left);
    const float controlY = y - float(pos.top);
    if (event.Type == UIEVENT_MOUSEMOVE || event.Type == UIEVENT_MOUSEENTER) {
        pointerInside_ = true;
        pointerX_ = controlX;
        pointerY_ = controlY;
    } else if (event.Type == UIEVENT_MOUSELEAVE) {
        pointerInside_ = false;
    }
    if (event.Type == UIEVENT_SCROLLWHEEL) {
        // Four notches double the scale.
        zoomAbout(std::pow(2.0f, float(WheelDelta(event)) / 480.0f), controlX, controlY);
        return;
    }
    if (panEvent(event, controlX, controlY))
        return;
    int current = -1;
    switch (event.Type) {
    case UIEVENT_MOUSEMOVE: current = container_.onMouseMove(x, y); break;
    case UIEVENT_BUTTONDOWN: current = container_.onMousePress(x, y); break;
    case UIEVENT_BUTTONUP: current = container_.onMouseRelease(x, y); break;
    case UIEVENT_RBUTTONDOWN: current = container_.onSecondaryPress(x, y); break;
    case UIEVENT_DBLCLICK:
        if (owner_)
            platform::SendMessage(owner_, WM_RENDER_TOGGLE_FULLSCREEN, 0, 0);
        return;
    default: return;
    }
    if (current != -1)
        markDirty();
}

void CImageRenderUI::markDirty()
{
    dirty_ = true;
    wakeEvent_.set();
}

void CImageRenderUI::renderLoop()
{
    while (running_) {
        // Woken by every change; the time-out keeps the 3 ms polling as a
        // fallback.
        wakeEvent_.wait(kPollMs);
        if (!running_)
            break;
        // Cleared before drawing: a change that arrives during the pass sets
        // it again and is drawn by the next pass instead of being lost.
        if (!dirty_.exchange(false))
            continue;
        renderPass();
    }
    // The measurements' drawing picture goes with the thread that drew it.
    container_.releaseDrawingCache();
}

void CImageRenderUI::renderPass()
{
    Enter guard(lock_);
    if (!renderWindow_.isOpen() || !renderWindow_.setActive(true))
        return;
    sf::Event event;
    while (renderWindow_.pollEvent(event)) {
    }
    std::string snapshotPath;
    const bool snapshot = takeFrame(snapshotPath);
    std::function<void()> observer;
    bool cleared = false;
    {
        std::lock_guard frameGuard(frameLock_);
        observer = passObserver_;
        cleared = pictureCleared_;
    }
    if (observer)
        observer();
    renderWindow_.clear(sf::Color(0, 0, 0, 255));
    const sf::Vector2u textureSize = frameTexture_.getSize();
    if (textureSize.x > 0 && textureSize.y > 0 && !cleared) {
        renderWindow_.draw(frameSprite_);
        if (updateDetailRegion()) {
            regionSprite_.setPosition(passFit_.originX + float(regionArea_.left) * passFit_.zoom,
                                      passFit_.originY + float(regionArea_.top) * passFit_.zoom);
            regionSprite_.setScale(passFit_.zoom, passFit_.zoom);
            renderWindow_.draw(regionSprite_);
        }
    }
    renderWindow_.draw(container_);
    scaleBar_.draw(renderWindow_, container_, visiblePicture());
    drawRecordingOverlay();

    // Read back before the swap: the back buffer's contents are undefined
    // after it.
    if (snapshot)
        saveSnapshot(snapshotPath);
    renderWindow_.display();
    renderWindow_.setActive(false);
    ++passesDrawn_;
    if (!firstPictureDrawn_ && textureSize.x > 0 && textureSize.y > 0) {
        firstPictureDrawn_ = true;
        std::function<void()> first;
        {
            std::lock_guard frameGuard(frameLock_);
            first = firstPictureObserver_;
        }
        if (first)
            first();
    }
    if (takenDequeued_ != FrameTime{}) {
        std::function<void(FrameTime)> drawn;
        {
            std::lock_guard frameGuard(frameLock_);
            drawn = drawnPictureObserver_;
        }
        if (drawn)
            drawn(takenDequeued_);
    }
}

void CImageRenderUI::setFirstPictureObserver(std::function<void()> observer)
{
    std::lock_guard frameGuard(frameLock_);
    firstPictureObserver_ = std::move(observer);
}

void CImageRenderUI::setDrawnPictureObserver(std::function<void(FrameTime dequeued)> observer)
{
    std::lock_guard frameGuard(frameLock_);
    drawnPictureObserver_ = std::move(observer);
}

bool CImageRenderUI::takeFrame(std::string& snapshotPath)
{
    int width = 0, height = 0;
    ViewFit fit;
    float textureScale = 1.0f;
    bool snapshot = false;
    {
        std::lock_guard guard(frameLock_);
        // A request that arrives while this pass draws waits for the next one,
        // which takes the picture as it was at the request.
        std::swap(snapshot, snapshotRequested_);
        if (snapshot)
            snapshotPath = snapshotPath_;
        takenDequeued_ = framePending_ ? pendingDequeued_ : FrameTime{};
        if (framePending_) {
            if (pendingStill_)
                uploadStill_ = std::move(pendingStill_);
            else
                uploadPixels_.swap(pendingPixels_);
            width = pendingWidth_;
            height = pendingHeight_;
            framePending_ = false;
        }
        fit = zoom_.transform();
        textureScale = textureScale_;
    }
    passFit_ = fit;
    if (width > 0) {
        const sf::Vector2u size = frameTexture_.getSize();
        if (size.x != unsigned(width) || size.y != unsigned(height)) {
            if (!frameTexture_.create(unsigned(width), unsigned(height)))
                platform::DebugPrintf("Failed to create texture, size: %d x %d\n", width, height);
            frameTexture_.setSmooth(true);
            frameSprite_.setTexture(frameTexture_, true);
        }
        // A texture that could not take the new size keeps its old picture
        // rather than reading a frame of another size.
        const sf::Vector2u now = frameTexture_.getSize();
        if (now.x == unsigned(width) && now.y == unsigned(height))
            frameTexture_.update(uploadStill_ ? uploadStill_.get() : uploadPixels_.data());
        // The still stays with its owner; the view needs it no longer.
        uploadStill_.reset();
    }
    frameSprite_.setPosition(fit.originX, fit.originY);
    frameSprite_.setScale(fit.zoom * textureScale, fit.zoom * textureScale);
    return snapshot;
}

namespace {

// The picture pixels (whole ones, clipped to the picture) a fit shows in a
// control of controlWidth × controlHeight.
sf::IntRect VisibleSource(const ViewFit& fit, int controlWidth, int controlHeight, int imageWidth, int imageHeight)
{
    if (fit.zoom <= 0.0f)
        return {};
    const int left = std::clamp(int(std::floor(-fit.originX / fit.zoom)), 0, imageWidth);
    const int top = std::clamp(int(std::floor(-fit.originY / fit.zoom)), 0, imageHeight);
    const int right = std::clamp(int(std::ceil((float(controlWidth) - fit.originX) / fit.zoom)), 0, imageWidth);
    const int bottom = std::clamp(int(std::ceil((float(controlHeight) - fit.originY) / fit.zoom)), 0, imageHeight);
    return sf::IntRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

bool Covers(const sf::IntRect& outer, const sf::IntRect& inner)
{
    return outer.width > 0 && inner.left >= outer.left && inner.top >= outer.top &&
           inner.left + inner.width <= outer.left + outer.width && inner.top + inner.height <= outer.top + outer.height;
}

// `side` grown by half of it on both ends, within `limit` and the picture's
// `extent`, so that small pans stay inside the region cut out.
void Grow(int& start, int& side, int extent, int limit)
{
    const int grown = std::min({limit, extent, side * 2});
    start = std::clamp(start - (grown - side) / 2, 0, extent - grown);
    side = grown;
}

} // namespace

bool CImageRenderUI::updateDetailRegion()
{
    std::shared_ptr<const uint8_t> full;
    int imageWidth = 0, imageHeight = 0, controlWidth = 0, controlHeight = 0;
    float textureScale = 1.0f;
    unsigned generation = 0;
    {
        std::lock_guard guard(frameLock_);
        full = fullPicture_;
        imageWidth = imageWidth_;
        imageHeight = imageHeight_;
        controlWidth = controlWidth_;
        controlHeight = controlHeight_;
        textureScale = textureScale_;
        generation = stillGeneration_;
    }
    if (regionGeneration_ != generation && regionArea_.width > 0) {
        regionArea_ = sf::IntRect();
        regionTexture_ = sf::Texture(); // its memory goes with the picture
    }
    if (regionWork_.valid() && regionWork_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        DetailRegion region = regionWork_.get();
        if (region.generation == generation && !region.rgba.empty() &&
            regionTexture_.create(unsigned(region.area.width), unsigned(region.area.height))) {
            regionTexture_.setSmooth(true);
            regionTexture_.update(region.rgba.data());
            regionSprite_.setTexture(regionTexture_, true);
            regionArea_ = region.area;
            regionGeneration_ = generation;
        }
    }
    if (!full)
        return false;
    // Worth it only where the reduced copy is drawn enlarged, and possible
    // only where what is visible fits in a texture.
    const sf::IntRect visible = VisibleSource(passFit_, controlWidth, controlHeight, imageWidth, imageHeight);
    const int limit = int(kRequiredTextureSize);
    if (passFit_.zoom * textureScale <= 1.0f || visible.width <= 0 || visible.height <= 0 || visible.width > limit ||
        visible.height > limit)
        return false;
    if (!Covers(regionArea_, visible) && !regionWork_.valid()) {
        sf::IntRect wanted = visible;
        Grow(wanted.left, wanted.width, imageWidth, limit);
        Grow(wanted.top, wanted.height, imageHeight, limit);
        if (regionThread_.joinable())
            regionThread_.join();
        std::promise<DetailRegion> promise;
        regionWork_ = promise.get_future();
        regionThread_ = std::thread([this, promise = std::move(promise), full = std::move(full), imageWidth, wanted,
                                     generation]() mutable {
            DetailRegion region;
            region.area = wanted;
            region.generation = generation;
            const size_t row = size_t(wanted.width) * 4;
            region.rgba.resize(row * size_t(wanted.height));
            for (int y = 0; y < wanted.height; ++y)
                std::memcpy(region.rgba.data() + row * size_t(y),
                            full.get() + (size_t(wanted.top + y) * size_t(imageWidth) + size_t(wanted.left)) * 4, row);
            promise.set_value(std::move(region));
            markDirty();
        });
    }
    // Drawn wherever it reaches, also while a wider one is being cut out.
    return regionArea_.width > 0;
}

void CImageRenderUI::drawRecordingOverlay()
{
    if (!recording_ || indicatorFrames_.empty())
        return;
    sf::RoundedRectangleShape box(sf::Vector2f(145.f, 44.f), 6.f, 10);
    box.setPosition(5.f, 5.f);
    box.setFillColor(sf::Color(0, 0, 0, 128));
    renderWindow_.draw(box);

    const sf::Time delta = frameClock_.restart();
    if (indicatorSprite_.frames() != &indicatorFrames_)
        indicatorSprite_.setFrames(&indicatorFrames_, &indicatorTexture_);
    indicatorSprite_.play();
    indicatorSprite_.update(delta);
    renderWindow_.draw(indicatorSprite_);

    std::chrono::steady_clock::duration elapsed;
    {
        std::lock_guard guard(frameLock_);
        elapsed = elapsedClock_() - recordingStart_;
    }
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    elapsedText_.setString(formatElapsed(seconds));
    renderWindow_.draw(elapsedText_);
}

void CImageRenderUI::saveSnapshot(const std::string& path)
{
    const sf::Vector2u size = renderWindow_.getSize();
    bool saved = false;
    sf::Texture copy;
    if (!path.empty() && size.x > 0 && size.y > 0 && copy.create(size.x, size.y)) {
        copy.update(renderWindow_);
        // Encoded in memory and written whole or not at all (SFML's writer
        // does not check its writes); the name was chosen in a save dialog.
        const sf::Image image = copy.copyToImage();
        std::string savedAs;
        saved = view::SavePictureFile(path, image.getPixelsPtr(), int(size.x), int(size.y), view::PixelOrder::Rgba,
                                      platform::ExistingFile::Replace, savedAs) == 0;
    }
    lastSnapshotSaved_ = saved;
    ++snapshotsServed_;
}

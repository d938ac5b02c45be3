#pragma once
// ScaleBar: a bar of a round length in the current calibration's unit at the
// bottom right of the picture's visible part, in the measurement colour, with
// its length written above it, both inside the picture. Drawn by the render view over the measurements, so view
// screenshots carry it too. Switched on and off from the UI thread; drawn by
// the render thread.
#include <SFML/Graphics/Rect.hpp>
#include <SFML/Graphics/RenderTarget.hpp>
#include <SFML/Graphics/Text.hpp>

#include <atomic>
#include <memory>
#include <string>

class SFPrimitiveContainer;

class ScaleBar {
public:
    ScaleBar();

    void setShown(bool on) { shown.store(on); }
    bool isShown() const { return shown.load(); }

    struct Choice {
        double length = 0; // in the unit: 1, 2 or 5 times a power of ten
        float pixels = 0;  // view pixels
        std::string label; // "50 um", "0.2 mm"
    };
    // The longest round length whose bar is at most `maxPixels` view pixels
    // long, for `unitsPerImagePixel` and `zoom` view pixels per image pixel.
    // False when the scale is unusable (zero, negative, not finite).
    static bool choose(float unitsPerImagePixel, float zoom, const std::string& unit, float maxPixels, Choice& out);

    // Where the bar goes: at most a fifth of the width of `picture` (the part
    // of the picture the control shows, in view pixels), kMargin inside its
    // bottom right corner. False when no bar fits.
    static bool place(float unitsPerImagePixel, float zoom, const std::string& unit, const sf::FloatRect& picture,
                      Choice& choice, sf::FloatRect& bar);

    // Draws the bar for the container's calibration and view (render thread;
    // nothing while switched off). Everything is in view pixels, whatever
    // the target's device pixels are.
    void draw(sf::RenderTarget& target, const SFPrimitiveContainer& container, const sf::FloatRect& picture);

    static constexpr float kMargin = 16.0f;
    static constexpr float kThickness = 4.0f;

private:
    std::atomic<bool> shown{false};
    // A font of its own: only the drawing thread lays it out.
    std::shared_ptr<const sf::Font> font;
    sf::Text text;
    std::string shownLabel;
};

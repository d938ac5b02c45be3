#include "app/shell/picture/MeasuredPicture.h"

#include "app/measure/ScaleBar.h"

#include <SFML/Graphics/Image.hpp>
#include <SFML/Graphics/RenderTexture.hpp>
#include <SFML/Graphics/Texture.hpp>
#include <SFML/Graphics/View.hpp>

#include <algorithm>

namespace shell {

std::unique_ptr<SFPrimitiveContainer> CopyAtFullSize(const SFPrimitiveContainer& shown)
{
    auto copy = std::make_unique<SFPrimitiveContainer>();
    sf::String unit;
    const float factor = shown.calibration(unit);
    copy->setViewTransform(0.0f, 0.0f, 1.0f);
    copy->setCalibration(unit, factor);
    copy->setColors(shown.lineColor(), shown.edgeColor(), shown.dimensionColor(), shown.textColor(), false);
    copy->exchangeMeasurements(shown.copyMeasurements());
    return copy;
}

std::string MeasurementUnit(const SFPrimitiveContainer& measurements)
{
    sf::String unit;
    measurements.calibration(unit);
    const auto utf8 = unit.toUtf8();
    return std::string(utf8.begin(), utf8.end());
}

std::vector<uint8_t> DrawMeasuredPicture(const StillPicture& picture, const SFPrimitiveContainer& measurements)
{
    const int width = picture.width, height = picture.height;
    if (width <= 0 || height <= 0 || picture.rgba.size() < size_t(width) * size_t(height) * 4)
        return {};
    // Small tiles keep the graphics memory small; the overlays cover little.
    const int tile = int(std::min(2048u, sf::Texture::getMaximumSize()));
    sf::RenderTexture target;
    if (tile <= 0 || !target.create(unsigned(tile), unsigned(tile)))
        return {};
    ScaleBar scaleBar;
    scaleBar.setShown(true);
    const sf::FloatRect whole(0.0f, 0.0f, float(width), float(height));
    std::vector<uint8_t> out(size_t(width) * size_t(height) * 4);
    for (int top = 0; top < height; top += tile)
        for (int left = 0; left < width; left += tile) {
            // The overlays alone, on transparent black: what they leave is
            // premultiplied colour and coverage, laid over the exact pixels.
            target.clear(sf::Color::Transparent);
            sf::RenderStates states;
            states.transform.translate(float(-left), float(-top));
            target.draw(measurements, states);
            target.setView(sf::View(sf::FloatRect(float(left), float(top), float(tile), float(tile))));
            scaleBar.draw(target, measurements, whole);
            target.setView(target.getDefaultView());
            target.display();
            const sf::Image overlay = target.getTexture().copyToImage();
            const uint8_t* over = overlay.getPixelsPtr();
            const int rows = std::min(tile, height - top), cols = std::min(tile, width - left);
            for (int y = 0; y < rows; ++y) {
                const uint8_t* o = over + size_t(y) * size_t(tile) * 4;
                const uint8_t* in = picture.rgba.data() + (size_t(top + y) * size_t(width) + size_t(left)) * 4;
                uint8_t* dst = out.data() + (size_t(top + y) * size_t(width) + size_t(left)) * 4;
                for (int x = 0; x < cols; ++x, o += 4, in += 4, dst += 4) {
                    const unsigned keep = 255u - o[3];
                    dst[0] = uint8_t(std::min(255u, o[2] + (in[2] * keep + 127u) / 255u));
                    dst[1] = uint8_t(std::min(255u, o[1] + (in[1] * keep + 127u) / 255u));
                    dst[2] = uint8_t(std::min(255u, o[0] + (in[0] * keep + 127u) / 255u));
                    dst[3] = 255;
                }
            }
        }
    return out;
}

} // namespace shell

#include "ScaleBar.h"

#include "LabelFont.h"
#include "SFPrimitiveContainer.h"

#include <SFML/Graphics/RectangleShape.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>

ScaleBar::ScaleBar() : font(measure::loadLabelFont())
{
    if (font) {
        text.setFont(*font);
        text.setCharacterSize(14);
    }
}

bool ScaleBar::choose(float unitsPerImagePixel, float zoom, const std::string& unit, float maxPixels, Choice& out)
{
    if (!(unitsPerImagePixel > 0) || !(zoom > 0) || !(maxPixels > 0) || !std::isfinite(unitsPerImagePixel) ||
        !std::isfinite(zoom))
        return false;
    const double unitsPerViewPixel = double(unitsPerImagePixel) / double(zoom);
    const double maxLength = double(maxPixels) * unitsPerViewPixel;
    const int exponent = static_cast<int>(std::floor(std::log10(maxLength)));
    const double power = std::pow(10.0, exponent);
    double length = power;
    for (const double step : {5.0, 2.0})
        if (step * power <= maxLength * (1 + 1e-9)) {
            length = step * power;
            break;
        }
    out.length = length;
    out.pixels = static_cast<float>(length / unitsPerViewPixel);
    // As many decimals as a length below 1 needs, never a decimal comma.
    char buffer[64];
    const int decimals = exponent < 0 ? -exponent : 0;
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, length, std::chars_format::fixed, decimals);
    out.label = std::string(buffer, result.ptr) + " " + unit;
    return true;
}

bool ScaleBar::place(float unitsPerImagePixel, float zoom, const std::string& unit, const sf::FloatRect& picture,
                     Choice& choice, sf::FloatRect& bar)
{
    if (!(picture.width > 4 * kMargin) || !(picture.height > 4 * kMargin))
        return false;
    if (!choose(unitsPerImagePixel, zoom, unit, picture.width / 5.0f, choice))
        return false;
    const float right = picture.left + picture.width - kMargin;
    const float bottom = picture.top + picture.height - kMargin;
    bar = sf::FloatRect(right - choice.pixels, bottom - kThickness, choice.pixels, kThickness);
    return true;
}

void ScaleBar::draw(sf::RenderTarget& target, const SFPrimitiveContainer& container, const sf::FloatRect& picture)
{
    if (!isShown())
        return;
    sf::String unitName;
    const float factor = container.calibration(unitName);
    std::string unit;
    sf::Utf32::toUtf8(unitName.begin(), unitName.end(), std::back_inserter(unit));
    Choice choice;
    sf::FloatRect place;
    if (!ScaleBar::place(factor, container.viewZoom(), unit, picture, choice, place))
        return;
    sf::RectangleShape bar({place.width, place.height});
    bar.setPosition(place.left, place.top);
    bar.setFillColor(container.lineColor());
    target.draw(bar);
    if (!font)
        return;
    if (choice.label != shownLabel) {
        shownLabel = choice.label;
        text.setString(sf::String::fromUtf8(choice.label.begin(), choice.label.end()));
    }
    text.setFillColor(container.textColor());
    const sf::FloatRect bounds = text.getLocalBounds();
    // Centred over the bar, but never beyond the picture's right edge.
    const float pictureRight = picture.left + picture.width - kMargin;
    float x = place.left + place.width / 2 - bounds.width / 2;
    x = std::max(picture.left + kMargin, std::min(x, pictureRight - bounds.width));
    text.setPosition(x - bounds.left, place.top - 6 - bounds.height - bounds.top);
    target.draw(text);
}

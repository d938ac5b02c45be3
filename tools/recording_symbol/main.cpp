// Writes the recording symbol: 30 frames of 20 x 20 pixels side by side, a red
// dot that swells and fades once over the strip, on a transparent background.
#include <SFML/Graphics/Image.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr unsigned kFrames = 30;
constexpr unsigned kSize = 20;
constexpr float kPi = 3.14159265f;

// Coverage of the pixel (px, py) by a disc, estimated on a 4 x 4 grid so the
// rim is smooth.
float discCoverage(float px, float py, float cx, float cy, float radius)
{
    int inside = 0;
    for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
            const float x = px + (static_cast<float>(sx) + 0.5f) / 4.0f - cx;
            const float y = py + (static_cast<float>(sy) + 0.5f) / 4.0f - cy;
            if (x * x + y * y <= radius * radius)
                ++inside;
        }
    return static_cast<float>(inside) / 16.0f;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    sf::Image strip;
    strip.create(kFrames * kSize, kSize, sf::Color::Transparent);
    for (unsigned frame = 0; frame < kFrames; ++frame) {
        // One pulse per cycle: 0 at the first frame, 1 half way.
        const float pulse = 0.5f - 0.5f * std::cos(2.0f * kPi * static_cast<float>(frame) / kFrames);
        const float radius = 6.0f + 3.0f * pulse;
        const float alpha = 160.0f + 95.0f * pulse;
        for (unsigned y = 0; y < kSize; ++y)
            for (unsigned x = 0; x < kSize; ++x) {
                const float coverage =
                    discCoverage(static_cast<float>(x), static_cast<float>(y), kSize / 2.0f, kSize / 2.0f, radius);
                if (coverage <= 0)
                    continue;
                const auto a = static_cast<sf::Uint8>(std::clamp(alpha * coverage, 0.0f, 255.0f));
                strip.setPixel(frame * kSize + x, y, sf::Color(230, 20, 20, a));
            }
    }
    if (!strip.saveToFile(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

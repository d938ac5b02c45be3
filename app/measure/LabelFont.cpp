#include "LabelFont.h"

#include "platform/UserFolders.h"

#include <mutex>

namespace measure {
namespace {

struct FontState {
    std::mutex mutex;
    std::string overridePath;
    bool loaded = false;
    std::shared_ptr<const sf::Font> font;
};

// Constructed on first use, so a test may set the path from a static
// initialiser, and never destroyed: the font's glyph textures must not be
// released during static destruction, after SFML's own contexts are gone.
FontState& state()
{
    static FontState* const instance = new FontState;
    return *instance;
}

std::string pathLocked(const FontState& s)
{
    return s.overridePath.empty() ? platform::dataFolder() + "/fonts/fzht.ttf" : s.overridePath;
}

} // namespace

std::string labelFontPath()
{
    FontState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    return pathLocked(s);
}

void setLabelFontPath(const std::string& path)
{
    FontState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.overridePath = path;
    s.loaded = false;
    s.font.reset();
}

std::shared_ptr<const sf::Font> loadLabelFont()
{
    auto font = std::make_shared<sf::Font>();
    if (!font->loadFromFile(labelFontPath()))
        return nullptr;
    return font;
}

std::shared_ptr<const sf::Font> labelFont()
{
    FontState& s = state();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (!s.loaded) {
        s.loaded = true;
        auto font = std::make_shared<sf::Font>();
        // SFML reports a failed load on its error stream; labels then stay empty.
        if (font->loadFromFile(pathLocked(s)))
            s.font = std::move(font);
    }
    return s.font;
}

} // namespace measure

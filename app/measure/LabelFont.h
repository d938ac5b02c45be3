#pragma once
#include <SFML/Graphics/Font.hpp>

#include <memory>
#include <string>

namespace measure {

// The label font "fonts/fzht.ttf" beside the program, loaded once and shared
// by every primitive (a font per primitive would also mean a glyph texture per
// primitive). Null when the file is missing or unreadable: labels then have no
// font and do not render. Glyphs are laid out lazily, so text using the font
// must only be touched under the lock of the container that owns it.
std::shared_ptr<const sf::Font> labelFont();
// A font of its own from the same file, for a thread that only draws (null
// when the file is missing).
std::shared_ptr<const sf::Font> loadLabelFont();

// The file labelFont() reads; overriding it (before the first use, e.g. with a
// path that does not exist) lets tests run without fonts and without a display.
std::string labelFontPath();
void setLabelFontPath(const std::string& path);

} // namespace measure

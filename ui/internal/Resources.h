#pragma once
// Skin files and images (ui/ internal).
#include <QByteArray>
#include <QPixmap>
#include <QString>

#include <string>

namespace ui::detail {

// "xmls\a.xml", "/xmls/a.xml" → "xmls/a.xml".
std::string normalizeSkinPath(const std::string& path);
bool readSkinFile(const std::string& path, QByteArray& data);
// Decoded image of the skin (cached); null when missing.
QPixmap skinPixmap(const std::string& path);

// A parsed image attribute string: "file='..' corner='l,t,r,b' dest=.. source=..".
struct ImageAttribute {
    std::string file;
    bool hasCorner = false, hasDest = false, hasSource = false;
    int corner[4] = {0, 0, 0, 0};
    int dest[4] = {0, 0, 0, 0};
    int source[4] = {0, 0, 0, 0};
};
bool parseImageAttribute(const std::string& attribute, ImageAttribute& image);

// Style-sheet rule body drawing the image attribute as a widget's background
// ("" when the image cannot be found). Images go through a private temporary
// folder because style sheets read files. An image placed at `dest` is drawn
// at the window's scale (dpi / 96), like the control around it.
QString imageStyle(const std::string& attribute, int dpi = 96);
// Only the url(...) of the (prepared) image, for sub-controls.
QString imageUrl(const std::string& attribute);

QString toQString(const std::string& s);
std::string toStd(const QString& s);
QString colorCss(unsigned argb);

} // namespace ui::detail

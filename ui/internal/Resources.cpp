#include "ui/internal/Resources.h"

#include "platform/DebugOutput.h"
#include "ui/PaintManager.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QTemporaryDir>

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <regex>
#include <vector>

namespace ui::detail {
namespace {

// The skin archive held in memory.
struct Archive {
    std::vector<unsigned char> bytes;
    zip_t* zip = nullptr;
    ~Archive()
    {
        if (zip)
            zip_discard(zip);
    }
};

std::unique_ptr<Archive>& archive()
{
    static std::unique_ptr<Archive> instance;
    return instance;
}

std::string& resourcePath()
{
    static std::string path;
    return path;
}

QHash<QString, QPixmap>& pixmapCache()
{
    static QHash<QString, QPixmap> cache;
    return cache;
}

QHash<QString, QString>& styleFileCache()
{
    static QHash<QString, QString> cache;
    return cache;
}

QTemporaryDir& styleFolder()
{
    static QTemporaryDir dir(QDir::tempPath() + "/pellumo-skin-XXXXXX");
    return dir;
}

bool readFromArchive(const std::string& path, QByteArray& data)
{
    Archive* a = archive().get();
    if (!a || !a->zip)
        return false;
    zip_int64_t index = zip_name_locate(a->zip, path.c_str(), 0);
    if (index < 0)
        index = zip_name_locate(a->zip, path.c_str(), ZIP_FL_NOCASE);
    if (index < 0)
        return false;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(a->zip, static_cast<zip_uint64_t>(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        return false;
    zip_file_t* file = zip_fopen_index(a->zip, static_cast<zip_uint64_t>(index), 0);
    if (!file)
        return false;
    data.resize(static_cast<qsizetype>(st.size));
    const zip_int64_t got = zip_fread(file, data.data(), st.size);
    zip_fclose(file);
    if (got != static_cast<zip_int64_t>(st.size)) {
        data.clear();
        return false;
    }
    return true;
}

bool parseRect(const std::string& text, int out[4])
{
    int v[4];
    if (std::sscanf(text.c_str(), "%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3]) != 4)
        return false;
    std::copy(v, v + 4, out);
    return true;
}

} // namespace

bool setResourceZip(const void* data, unsigned size)
{
    archive().reset();
    pixmapCache().clear();
    styleFileCache().clear();
    if (!data || size == 0)
        return false;
    auto a = std::make_unique<Archive>();
    a->bytes.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(a->bytes.data(), a->bytes.size(), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        return false;
    }
    a->zip = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!a->zip) {
        platform::DebugPrintf("skin archive: %s\n", zip_error_strerror(&error));
        zip_source_free(source);
        zip_error_fini(&error);
        return false;
    }
    zip_error_fini(&error);
    archive() = std::move(a);
    return true;
}

void setResourcePath(const std::string& path)
{
    resourcePath() = path;
    pixmapCache().clear();
    styleFileCache().clear();
}

const std::string& getResourcePath() { return resourcePath(); }

std::string normalizeSkinPath(const std::string& path)
{
    std::string out = path;
    std::replace(out.begin(), out.end(), '\\', '/');
    while (!out.empty() && out.front() == '/')
        out.erase(out.begin());
    return out;
}

bool readSkinFile(const std::string& path, QByteArray& data)
{
    const std::string normal = normalizeSkinPath(path);
    if (normal.empty())
        return false;
    if (readFromArchive(normal, data))
        return true;
    if (!resourcePath().empty()) {
        QFile file(QDir(toQString(resourcePath())).filePath(toQString(normal)));
        if (file.open(QIODevice::ReadOnly)) {
            data = file.readAll();
            return true;
        }
    }
    return false;
}

QPixmap skinPixmap(const std::string& path)
{
    const QString key = toQString(normalizeSkinPath(path));
    auto it = pixmapCache().find(key);
    if (it != pixmapCache().end())
        return *it;
    QByteArray bytes;
    QPixmap pixmap;
    if (readSkinFile(path, bytes))
        pixmap.loadFromData(bytes);
    if (pixmap.isNull())
        platform::DebugPrintf("skin image missing: %s\n", path.c_str());
    pixmapCache().insert(key, pixmap);
    return pixmap;
}

bool parseImageAttribute(const std::string& attribute, ImageAttribute& image)
{
    image = ImageAttribute{};
    if (attribute.find('=') == std::string::npos) {
        image.file = attribute;
        return !image.file.empty();
    }
    static const std::regex pair(R"((\w+)\s*=\s*'([^']*)')");
    for (auto it = std::sregex_iterator(attribute.begin(), attribute.end(), pair); it != std::sregex_iterator(); ++it) {
        const std::string key = (*it)[1].str();
        const std::string value = (*it)[2].str();
        if (key == "file")
            image.file = value;
        else if (key == "corner")
            image.hasCorner = parseRect(value, image.corner);
        else if (key == "dest")
            image.hasDest = parseRect(value, image.dest);
        else if (key == "source")
            image.hasSource = parseRect(value, image.source);
    }
    return !image.file.empty();
}

namespace {
// Writes the image prepared for a style sheet (cut to source, placed at dest)
// and returns its file name.
QString preparedImageFile(const ImageAttribute& image, const std::string& attribute, int dpi = 96)
{
    const QString key = toQString(attribute) + QStringLiteral("@%1").arg(dpi);
    auto cached = styleFileCache().find(key);
    if (cached != styleFileCache().end())
        return *cached;
    QPixmap pixmap = skinPixmap(image.file);
    QString result;
    if (!pixmap.isNull() && styleFolder().isValid()) {
        if (image.hasSource)
            pixmap = pixmap.copy(
                QRect(QPoint(image.source[0], image.source[1]), QPoint(image.source[2] - 1, image.source[3] - 1)));
        if (image.hasDest) {
            int dest[4];
            for (int i = 0; i < 4; ++i)
                dest[i] = image.dest[i] * dpi / 96;
            QPixmap canvas(std::max(1, dest[2]), std::max(1, dest[3]));
            canvas.fill(Qt::transparent);
            QPainter painter(&canvas);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawPixmap(QRect(QPoint(dest[0], dest[1]), QPoint(dest[2] - 1, dest[3] - 1)), pixmap);
            painter.end();
            pixmap = canvas;
        }
        const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
        const QString file = styleFolder().filePath(QString::fromLatin1(hash) + ".png");
        if (pixmap.save(file, "PNG"))
            result = file;
    }
    styleFileCache().insert(key, result);
    return result;
}
} // namespace

QString imageUrl(const std::string& attribute)
{
    ImageAttribute image;
    if (!parseImageAttribute(attribute, image))
        return {};
    const QString file = preparedImageFile(image, attribute);
    return file.isEmpty() ? QString() : QStringLiteral("url(\"%1\")").arg(file);
}

QString imageStyle(const std::string& attribute, int dpi)
{
    ImageAttribute image;
    if (!parseImageAttribute(attribute, image))
        return {};
    const QString file = preparedImageFile(image, attribute, image.hasDest ? dpi : 96);
    if (file.isEmpty())
        return {};
    if (image.hasDest)
        return QStringLiteral("background-image: url(\"%1\"); background-repeat: no-repeat; "
                              "background-position: top left; border-image: none;")
            .arg(file);
    const int* c = image.corner; // l, t, r, b → CSS order t r b l
    return QStringLiteral("border-image: url(\"%1\") %2 %3 %4 %5 stretch stretch; border-width: %2px %3px %4px %5px;")
        .arg(file)
        .arg(c[1])
        .arg(c[2])
        .arg(c[3])
        .arg(c[0]);
}

QString toQString(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string toStd(const QString& s)
{
    const QByteArray utf8 = s.toUtf8();
    return std::string(utf8.constData(), static_cast<size_t>(utf8.size()));
}

QString colorCss(unsigned argb)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg((argb >> 16) & 0xFF)
        .arg((argb >> 8) & 0xFF)
        .arg(argb & 0xFF)
        .arg((argb >> 24) & 0xFF);
}

} // namespace ui::detail

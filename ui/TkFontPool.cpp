#include "ui/TkFontPool.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QStringList>
#include <memory>
#include <unordered_map>

void registerSkinFonts() {
    static bool done = false;
    if (done)
        return;
    done = true;
    // Tahoma ships with the Windows compatibility fonts, in a folder fontconfig does not
    // search; without it Tahoma falls back to a much wider face.
    for (const char* path :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
        QFontDatabase::addApplicationFont(QString::fromLatin1(path));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}

namespace {
struct Pool {
    QFont base;
    std::unordered_map<uint16_t, std::unique_ptr<QFont>> fonts;
    Pool() {
        registerSkinFonts();
        base = QGuiApplication::font();
        base.setFamily(QStringLiteral("Tahoma"));
        base.setPixelSize(11);
        base.setStyleStrategy(QFont::PreferAntialias);
        fonts.emplace(0, std::make_unique<QFont>(base));
    }
};
} // namespace

const QFont* TkFontPool::GetFont(uint16_t key) {
    if (QGuiApplication::instance() == nullptr)
        return nullptr; // fonts need the application
    static Pool pool;
    auto it = pool.fonts.find(key);
    if (it != pool.fonts.end())
        return it->second.get();
    const int height = PixelHeight(key);
    if (height <= 0)
        return nullptr;
    auto font = std::make_unique<QFont>(pool.base);
    font->setWeight((key & 4) ? QFont::Bold : QFont::Normal);
    font->setUnderline((key & 2) != 0);
    font->setItalic((key & 1) != 0);
    font->setPixelSize(height);
    const QFont* out = font.get();
    pool.fonts.emplace(key, std::move(font));
    return out;
}

#include "platform/font.h"

#include <SDL2/SDL_ttf.h>

#include <map>
#include <utility>

#include "embedded/font_sans.h"
#include "embedded/font_sans_bold.h"
#include "platform/platform.h"

namespace platform {
namespace {

// Opened fonts by (size, bold). Owned here for the life of the process.
class FontCache {
 public:
  ~FontCache() {
    for (auto& [key, font] : fonts_) TTF_CloseFont(font);
    if (ready_) TTF_Quit();
  }

  TTF_Font* Get(int size, bool bold) {
    if (size <= 0 || size > 512) return nullptr;
    if (!ready_) {
      if (TTF_Init() != 0) return nullptr;
      ready_ = true;
    }
    auto key = std::make_pair(size, bold);
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    auto data = bold ? embedded::font_sans_bold() : embedded::font_sans();
    SDL_RWops* rw = SDL_RWFromConstMem(data.data(), static_cast<int>(data.size()));
    if (rw == nullptr) return nullptr;
    TTF_Font* font = TTF_OpenFontRW(rw, 1, size);
    if (font == nullptr) return nullptr;
    TTF_SetFontHinting(font, TTF_HINTING_LIGHT);
    fonts_[key] = font;
    return font;
  }

 private:
  bool ready_ = false;
  std::map<std::pair<int, bool>, TTF_Font*> fonts_;
};

FontCache& Cache() {
  static FontCache cache;
  return cache;
}

}  // namespace

bool FontMeasure(const std::string& text, int pixelSize, bool bold, int* width, int* height) {
  TTF_Font* font = Cache().Get(pixelSize, bold);
  if (font == nullptr) return false;
  int w = 0;
  int h = TTF_FontHeight(font);
  if (!text.empty() && TTF_SizeUTF8(font, Cp1252ToUtf8(text).c_str(), &w, &h) != 0) return false;
  *width = w;
  *height = h;
  return true;
}

bool FontRender(const std::string& text, int pixelSize, bool bold, TextBitmap* out) {
  TTF_Font* font = Cache().Get(pixelSize, bold);
  if (font == nullptr) return false;
  out->coverage.clear();
  if (text.empty()) {
    out->width = 0;
    out->height = TTF_FontHeight(font);
    return true;
  }
  SDL_Color white{255, 255, 255, 255};
  SDL_Surface* rendered = TTF_RenderUTF8_Blended(font, Cp1252ToUtf8(text).c_str(), white);
  if (rendered == nullptr) return false;
  SDL_Surface* surface = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(rendered);
  if (surface == nullptr) return false;
  out->width = surface->w;
  out->height = surface->h;
  out->coverage.resize(static_cast<size_t>(surface->w) * static_cast<size_t>(surface->h));
  SDL_LockSurface(surface);
  for (int y = 0; y < surface->h; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(
        static_cast<const uint8_t*>(surface->pixels) +
        static_cast<size_t>(y) * static_cast<size_t>(surface->pitch));
    for (int x = 0; x < surface->w; ++x) {
      out->coverage[static_cast<size_t>(y) * static_cast<size_t>(surface->w) +
                    static_cast<size_t>(x)] = static_cast<uint8_t>(row[x] >> 24);
    }
  }
  SDL_UnlockSurface(surface);
  SDL_FreeSurface(surface);
  return true;
}

}  // namespace platform

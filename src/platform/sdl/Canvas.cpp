// A simple drawing surface for a dialog form, on an SDL renderer and SDL_ttf.
#include "platform/Canvas.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

#include "platform/Application.h"
#include "platform/Cp1252.h"
#include "platform/Jpeg.h"
#include "platform/sdl/RendererSelect.h"

namespace platform {

struct Canvas::Impl {
    SDL_Renderer* renderer = nullptr;
    bool ttfStarted = false;
    struct Picture {
        SDL_Texture* texture = nullptr;
        int width = 0;
        int height = 0;
    };
    std::vector<Picture> pictures;
    std::vector<TTF_Font*> fonts;
    std::map<std::tuple<int, std::string, uint32_t>, Picture> texts;

    ~Impl() {
        for (auto& [key, text] : texts)
            SDL_DestroyTexture(text.texture);
        for (auto& picture : pictures)
            SDL_DestroyTexture(picture.texture);
        for (TTF_Font* font : fonts)
            TTF_CloseFont(font);
        if (renderer)
            SDL_DestroyRenderer(renderer);
        if (ttfStarted)
            TTF_Quit();
    }

    void SetColour(uint32_t argb) {
        SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
        SDL_SetRenderDrawColor(renderer, (argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF,
                               argb >> 24);
    }

    int Add(SDL_Surface* surface) {
        if (!surface)
            return -1;
        SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, surface);
        const Picture picture{texture, surface->w, surface->h};
        SDL_FreeSurface(surface);
        if (!texture)
            return -1;
        pictures.push_back(picture);
        return static_cast<int>(pictures.size()) - 1;
    }
};

Canvas::Canvas(Form& form) : impl_(std::make_unique<Impl>()) {
    auto* window = static_cast<SDL_Window*>(form.NativeHandle());
    if (!window)
        return;
    impl_->renderer = CreateCheapestRenderer(window, 0);
    impl_->ttfStarted = TTF_Init() == 0;
}

Canvas::~Canvas() = default;

bool Canvas::Valid() const {
    return impl_->renderer != nullptr;
}

int Canvas::AddPicture(const PixelImage& image) {
    if (!impl_->renderer || image.width <= 0 || image.height <= 0 ||
        image.pixels.size() !=
            static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
        return -1;
    }
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, image.width, image.height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!surface)
        return -1;
    for (int y = 0; y < image.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(surface->pixels) +
                                                static_cast<ptrdiff_t>(y) * surface->pitch);
        for (int x = 0; x < image.width; ++x) {
            row[x] = image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                                  static_cast<size_t>(x)];
        }
    }
    return impl_->Add(surface);
}

bool DecodeBmpFile(const std::string& path, PixelImage& out, std::string* error) {
    SDL_Surface* loaded = SDL_LoadBMP(path.c_str());
    SDL_Surface* surface =
        loaded ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
    if (loaded)
        SDL_FreeSurface(loaded);
    if (!surface) {
        if (error)
            *error = SDL_GetError();
        return false;
    }
    out.width = surface->w;
    out.height = surface->h;
    out.pixels.resize(static_cast<size_t>(surface->w) * static_cast<size_t>(surface->h));
    for (int y = 0; y < surface->h; ++y) {
        const auto* row =
            reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(surface->pixels) +
                                              static_cast<ptrdiff_t>(y) * surface->pitch);
        std::copy(row, row + surface->w,
                  out.pixels.begin() + static_cast<ptrdiff_t>(y) * surface->w);
    }
    SDL_FreeSurface(surface);
    return true;
}

int Canvas::PictureWidth(int picture) const {
    if (picture < 0 || picture >= static_cast<int>(impl_->pictures.size()))
        return 0;
    return impl_->pictures[static_cast<size_t>(picture)].width;
}

int Canvas::PictureHeight(int picture) const {
    if (picture < 0 || picture >= static_cast<int>(impl_->pictures.size()))
        return 0;
    return impl_->pictures[static_cast<size_t>(picture)].height;
}

int Canvas::OpenFont(const std::string& file, int lineHeight) {
    if (!impl_->ttfStarted || file.empty())
        return -1;
    TTF_Font* chosen = nullptr;
    for (int size = lineHeight; size >= 6 && !chosen; --size) {
        TTF_Font* font = TTF_OpenFont(file.c_str(), size);
        if (!font)
            return -1;
        if (TTF_FontHeight(font) <= lineHeight || size == 6) {
            chosen = font;
        } else {
            TTF_CloseFont(font);
        }
    }
    if (!chosen)
        return -1;
    impl_->fonts.push_back(chosen);
    return static_cast<int>(impl_->fonts.size()) - 1;
}

void Canvas::Clear(uint32_t argb) {
    if (!impl_->renderer)
        return;
    impl_->SetColour(argb | 0xFF000000u);
    SDL_RenderClear(impl_->renderer);
}

void Canvas::DrawPicture(int picture, int x, int y) {
    if (!impl_->renderer || picture < 0 || picture >= static_cast<int>(impl_->pictures.size())) {
        return;
    }
    const auto& p = impl_->pictures[static_cast<size_t>(picture)];
    const SDL_Rect target{x, y, p.width, p.height};
    SDL_RenderCopy(impl_->renderer, p.texture, nullptr, &target);
}

void Canvas::FillRect(int x, int y, int width, int height, uint32_t argb) {
    if (!impl_->renderer)
        return;
    impl_->SetColour(argb);
    const SDL_Rect rect{x, y, width, height};
    SDL_RenderFillRect(impl_->renderer, &rect);
}

void Canvas::FrameRect(int x, int y, int width, int height, uint32_t argb) {
    if (!impl_->renderer)
        return;
    impl_->SetColour(argb);
    const SDL_Rect rect{x, y, width, height};
    SDL_RenderDrawRect(impl_->renderer, &rect);
}

void Canvas::DrawLine(int x1, int y1, int x2, int y2, uint32_t argb) {
    if (!impl_->renderer)
        return;
    impl_->SetColour(argb);
    SDL_RenderDrawLine(impl_->renderer, x1, y1, x2, y2);
}

void Canvas::DrawText(int font, int x, int y, const std::string& text, uint32_t argb) {
    if (!impl_->renderer || font < 0 || font >= static_cast<int>(impl_->fonts.size()) ||
        text.empty()) {
        return;
    }
    const auto key = std::make_tuple(font, text, argb);
    auto found = impl_->texts.find(key);
    if (found == impl_->texts.end()) {
        const SDL_Color colour{static_cast<Uint8>(argb >> 16), static_cast<Uint8>(argb >> 8),
                               static_cast<Uint8>(argb), static_cast<Uint8>(argb >> 24)};
        const std::string utf8 = Cp1252ToUtf8(text);
        SDL_Surface* surface =
            TTF_RenderUTF8_Blended(impl_->fonts[static_cast<size_t>(font)], utf8.c_str(), colour);
        if (!surface)
            return;
        Impl::Picture picture{SDL_CreateTextureFromSurface(impl_->renderer, surface), surface->w,
                              surface->h};
        SDL_FreeSurface(surface);
        if (!picture.texture)
            return;
        found = impl_->texts.emplace(key, picture).first;
    }
    const SDL_Rect target{x, y, found->second.width, found->second.height};
    SDL_RenderCopy(impl_->renderer, found->second.texture, nullptr, &target);
}

int Canvas::TextWidth(int font, const std::string& text) {
    if (font < 0 || font >= static_cast<int>(impl_->fonts.size()))
        return 0;
    int width = 0;
    int height = 0;
    const std::string utf8 = Cp1252ToUtf8(text);
    TTF_SizeUTF8(impl_->fonts[static_cast<size_t>(font)], utf8.c_str(), &width, &height);
    return width;
}

int Canvas::TextHeight(int font) const {
    if (font < 0 || font >= static_cast<int>(impl_->fonts.size()))
        return 0;
    return TTF_FontHeight(impl_->fonts[static_cast<size_t>(font)]);
}

void Canvas::Present() {
    if (impl_->renderer)
        SDL_RenderPresent(impl_->renderer);
}

uint32_t Canvas::PixelAt(int x, int y) const {
    if (!impl_->renderer)
        return 0;
    uint32_t pixel = 0;
    const SDL_Rect rect{x, y, 1, 1};
    if (SDL_RenderReadPixels(impl_->renderer, &rect, SDL_PIXELFORMAT_ARGB8888, &pixel, 4) != 0) {
        return 0;
    }
    return pixel;
}

}  // namespace platform

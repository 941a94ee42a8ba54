#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

/// Marketing names and icons for Apple hardware model codes: an iPhone's or iPad's
/// "ProductType" ("iPhone15,2") or a Mac's model identifier ("MacBookPro18,3").
namespace celvio::DeviceCatalog {

/// The marketing name ("iPhone 14 Pro"), or absent for a code the built-in table does
/// not know; callers then show the code itself. Case-sensitive. Thread-safe (the table
/// is constant).
std::optional<std::string> marketingName(std::string_view modelCode);

/// Device icons by model code and fallback symbol name ("iphone", "ipad",
/// "laptopcomputer"), each looked up once per process. `Image` is the UI's image type
/// (QIcon, QPixmap); the core knows none.
///
/// No model code has an icon of its own here, so every key gets the loader's image for
/// its fallback symbol. The loader returns an empty image for a symbol it does not
/// know; that empty image is cached like any other.
///
/// Not synchronised: use one cache from the main thread only.
template <class Image>
class IconCache {
public:
    /// Draws the image for a symbol name, or an empty image for an unknown one.
    using Loader = std::function<Image(std::string_view symbol)>;

    explicit IconCache(Loader loader) : loader_(std::move(loader)) {}
    // References handed out by icon() stay valid; copies would hand out others.
    IconCache(const IconCache&) = delete;
    IconCache& operator=(const IconCache&) = delete;

    /// The image for the key "modelCode|fallbackSymbol", loaded on first use. Entries
    /// are never replaced or removed, so the reference lives as long as the cache.
    const Image& icon(std::string_view modelCode, std::string_view fallbackSymbol) {
        // Reused buffer: icons are asked for on every redraw.
        key_.assign(modelCode);
        key_ += '|';
        key_ += fallbackSymbol;
        if (const auto found = cache_.find(key_); found != cache_.end()) return found->second;
        Image image = loader_(fallbackSymbol);
        return cache_.emplace(key_, std::move(image)).first->second;
    }

    /// The number of cached keys.
    std::size_t size() const noexcept { return cache_.size(); }

private:
    Loader loader_;
    std::map<std::string, Image, std::less<>> cache_;  // node-based: references stay valid
    std::string key_;
};

}  // namespace celvio::DeviceCatalog

#include "PackageBuilder.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

#include "config/TarvosUpdateConfig.hpp"
#include "config/uConfigData.hpp"
#include "inventory/ListSignature.hpp"
#include "inventory/OwnedFiles.hpp"
#include "platform/Error.hpp"
#include "platform/RegionData.hpp"
#include "platform/Text.hpp"

namespace tarvos::pack {

namespace {

[[noreturn]] void Fail(const ElementSpec& e, const std::string& message) {
    throw TarvosError(std::string(kManifestName) + ":" + std::to_string(e.line) + ": [" + e.window + " " + e.name +
                      "] " + message);
}

Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw TarvosError("Cannot open file " + PathToUtf8(path));
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

enum class Kind { Background, Button, Gauge, Label, Progress, LangFolder, Placed };

Kind KindOf(const std::string& window, const std::string& name, const TtucElementRef& ref) {
    if (std::holds_alternative<TtucBackGround*>(ref.element)) return Kind::Background;
    if (std::holds_alternative<TtucButton*>(ref.element)) return Kind::Button;
    if (std::holds_alternative<TtucGauge*>(ref.element)) return Kind::Gauge;
    if (name.starts_with("Text_")) return Kind::Label;
    if (name.starts_with("Progress_")) return Kind::Progress;
    if (window == "main" && name == "Box_LangFolder") return Kind::LangFolder;
    return Kind::Placed;
}

// The keys the launcher reads for each class, to warn about typos (keys are case-sensitive).
std::set<std::string> KnownKeys(Kind kind) {
    std::set<std::string> keys = {"Left", "Top", "Width", "Height", "Visible", "Enabled"};
    if (kind == Kind::Label) keys.insert({"Size", "Color", "Bold", "Italic", "Underline"});
    if (kind == Kind::Progress) keys.insert({"CForeFace", "CForeGrad", "CBackFace", "CBackGrad", "Orientation"});
    if (kind == Kind::LangFolder) keys.insert({"FSize", "FColor", "BColor"});
    return keys;
}

std::set<std::string> FileKeys(Kind kind) {
    switch (kind) {
        case Kind::Background: return {"image", "outline"};
        case Kind::Button: return {"common", "over", "disabled", "down", "up", "script"};
        case Kind::Gauge: return {"fore", "back"};
        default: return {};
    }
}

class ElementBuilder {
public:
    ElementBuilder(const SkinManifest& m, const ElementSpec& e, BuildResult& result) : m_(m), e_(e), result_(result) {}

    Bytes Body(Kind kind) {
        CheckKeys(kind);
        Bytes body;
        switch (kind) {
            case Kind::Background:
                PutSized(body, Picture("image"));
                PutSized(body, Outline());
                break;
            case Kind::Button:
                PutSized(body, StringListBytes(e_.parameters));
                PutSized(body, Script());
                for (const char* k : {"common", "over", "disabled", "down", "up"}) PutSized(body, Picture(k));
                break;
            case Kind::Gauge:
                PutSized(body, StringListBytes(e_.parameters));
                PutSized(body, Picture("fore"));
                PutSized(body, Picture("back"));
                break;
            default:
                PutSized(body, StringListBytes(e_.parameters));
        }
        return body;
    }

private:
    void CheckKeys(Kind kind) {
        auto fileKeys = FileKeys(kind);
        for (const auto& [key, value] : e_.files)
            if (!fileKeys.count(key)) Fail(e_, "\"" + key + "\" does not belong to this element");
        if (kind == Kind::Background && !e_.parameters.empty()) Fail(e_, "a background takes only image and outline");
        auto known = KnownKeys(kind);
        for (const auto& line : e_.parameters) {
            std::string key = TrimText(std::string_view(line).substr(0, line.find('=')));
            if (line.find('=') == std::string::npos || !known.count(key))
                result_.warnings.push_back(std::string(kManifestName) + ": [" + e_.window + " " + e_.name + "] \"" + line +
                                           "\" is not a key the launcher reads (keys are case-sensitive)");
        }
    }

    std::filesystem::path PathOf(const std::string& key) const { return m_.dir / PathFromUtf8(e_.files.at(key)); }

    // The picture's file bytes, checked by decoding them as the launcher will.
    Bytes Picture(const std::string& key) {
        if (!e_.files.count(key)) return {};
        Bytes bytes = ReadFileBytes(PathOf(key));
        try {
            decoded_[key] = DecodeBmp(bytes);
        } catch (const TarvosError& error) {
            Fail(e_, key + " " + e_.files.at(key) + ": " + error.what());
        }
        return bytes;
    }

    Bytes Script() {
        if (!e_.files.count("script")) return {};
        Bytes text = ReadFileBytes(PathOf("script"));
        return TextBytes(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    }

    Bytes Outline();

    const SkinManifest& m_;
    const ElementSpec& e_;
    BuildResult& result_;
    std::map<std::string, Bitmap> decoded_;
};

std::uint32_t ParseColour(const ElementSpec& e, const std::string& text) {
    if (text.size() != 7 || text[0] != '#' || text.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
        Fail(e, "outline colour must be written #RRGGBB");
    auto v = static_cast<std::uint32_t>(std::stoul(text.substr(1), nullptr, 16));
    return ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16);  // as a Windows colour value
}

Bytes ElementBuilder::Outline() {
    std::string rule = e_.files.count("outline") ? e_.files.at("outline") : "none";
    if (rule == "none") return {};
    if (!decoded_.count("image")) Fail(e_, "an outline needs an image");
    const Bitmap& image = decoded_.at("image");
    std::vector<RegionRect> rects;
    std::string word = rule.substr(0, rule.find(' '));
    std::string arg = TrimText(rule.size() > word.size() ? std::string_view(rule).substr(word.size()) : "");
    if (word == "corner" || word == "color") {
        std::uint32_t key = word == "corner" ? image.ColorAt(0, 0) : ParseColour(e_, arg);
        rects = OutlineRects(image, [&](int x, int y) { return image.ColorAt(x, y) != key; });
    } else if (word == "mask") {
        Bitmap mask;
        try {
            mask = DecodeBmp(ReadFileBytes(m_.dir / PathFromUtf8(arg)));
        } catch (const TarvosError& error) {
            Fail(e_, "mask " + arg + ": " + error.what());
        }
        if (mask.width != image.width || mask.height != image.height) Fail(e_, "the mask must have the image's size");
        rects = OutlineRects(image, [&](int x, int y) { return mask.ColorAt(x, y) != 0; });
    } else {
        Fail(e_, "outline must be none, corner, color #RRGGBB or mask FILE");
    }
    return WriteRegionData(rects);
}

template <class Window>
Bytes WindowSection(const SkinManifest& m, const std::string& windowName, BuildResult& result) {
    Window window;
    auto refs = window.Elements();
    Bytes blocks;
    std::int32_t count = 0;
    for (const auto& e : m.elements) {
        if (e.window != windowName) continue;
        auto ref = std::find_if(refs.begin(), refs.end(), [&](const auto& r) { return e.name == r.name; });
        if (ref == refs.end()) Fail(e, "no such element in the " + windowName + " window");
        ElementBuilder builder(m, e, result);
        PutBlock(blocks, ref->id, builder.Body(KindOf(windowName, e.name, *ref)));
        ++count;
    }
    return Section(window.Version(), count, blocks);
}

}  // namespace

BuildResult BuildPackage(const SkinManifest& manifest) {
    BuildResult result;
    Bytes main = WindowSection<TtucMainWindow>(manifest, "main", result);
    Bytes settings = WindowSection<TtucConfigWindow>(manifest, "settings", result);
    Bytes config = ReadFileBytes(manifest.configFile);
    Bytes text = TextBytes(std::string_view(reinterpret_cast<const char*>(config.data()), config.size()));
    // A mistyped key would make the launcher refuse every list it fetches.
    tConfigData parsed;
    parsed.ParseConfig(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    if (!parsed.UpdateServers.PublicKey.empty() && !ParseListKey(parsed.UpdateServers.PublicKey))
        throw TarvosError(PathToUtf8(manifest.configFile) +
                          ": publickey must be the 64 hexadecimal digits that tarvos-publish keygen printed");
    // The launcher never counts its own file as the player's (it would never update itself),
    // so a pattern that matches it is broader than its author thought.
    const TOwnedFiles owned(parsed.Config.OwnedFiles);
    for (const char* launcher : {"\\tarvos.exe", "\\tarvos-cli"})
        if (owned.Owns(launcher))
            result.warnings.push_back(PathToUtf8(manifest.configFile) + ": ownedfiles \"" + parsed.Config.OwnedFiles +
                                      "\" matches the launcher's own file " + (launcher + 1) +
                                      ", which stays the launcher's to update");
    result.package = main;
    result.package.insert(result.package.end(), settings.begin(), settings.end());
    result.package.insert(result.package.end(), text.begin(), text.end());
    return result;
}

}  // namespace tarvos::pack

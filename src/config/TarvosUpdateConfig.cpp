#include "config/TarvosUpdateConfig.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string_view>

#include "config/IntegerReading.hpp"
#include "platform/Error.hpp"
#include "platform/Text.hpp"

namespace tarvos {

// ---- parameters ----

std::string TtucElement::Value(std::string_view key) const {
    for (const auto& line : parameters) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (TrimText(std::string_view(line).substr(0, eq)) == key) return TrimText(std::string_view(line).substr(eq + 1));
    }
    return {};
}

std::int32_t TtucElement::IntValue(std::string_view key) const { return ReadInteger32(Value(key)); }

bool TtucElement::BoolValue(std::string_view key) const { return Value(key) == "true"; }

// ---- block bodies ----

void TtucElement::ReadBody(SkinReader& stream, std::initializer_list<SubBlock> subBlocks) {
    SkinReader body(stream.SizedBlock());
    for (const auto& sub : subBlocks) {
        if (body.AtEnd()) return;
        auto bytes = body.SizedBlock();
        if (!bytes.empty()) sub(bytes);
    }
}

TtucElement::SubBlock TtucElement::IntoList(TStringList& list) {
    return [&list](std::span<const std::uint8_t> b) {
        list = SplitLines(DecodeText(std::string_view(reinterpret_cast<const char*>(b.data()), b.size())));
    };
}

TtucElement::SubBlock TtucElement::IntoBitmap(Bitmap& bitmap) {
    return [&bitmap](std::span<const std::uint8_t> b) { bitmap = DecodeBmp(b); };
}

void TtucBackGround::LoadFromStream2(SkinReader& stream) {
    // A block with a body always replaces the outline, also when it brings none. Region bytes
    // are kept as they are: damaged ones only cost the outline (GetRegion gives none and the
    // window stays rectangular), never the skin, and the settings window never reads them.
    auto intoRegion = [this](std::span<const std::uint8_t> b) { region.assign(b.begin(), b.end()); };
    SkinReader probe = stream;
    if (probe.Int64() > 0) region.clear();
    ReadBody(stream, {IntoBitmap(image), intoRegion});
}

std::optional<std::vector<RegionRect>> TtucBackGround::GetRegion() const {
    if (region.empty()) return std::nullopt;
    return ReadRegionData(region);
}

void TtucButton::LoadFromStream2(SkinReader& stream) {
    ReadBody(stream, {IntoList(parameters), IntoList(btn_script), IntoBitmap(common), IntoBitmap(over),
                      IntoBitmap(disabled), IntoBitmap(down), IntoBitmap(up)});
}

void TtucGauge::LoadFromStream2(SkinReader& stream) {
    ReadBody(stream, {IntoList(parameters), IntoBitmap(FTex), IntoBitmap(BTex)});
}

void TtucParamElement::LoadFromStream2(SkinReader& stream) { ReadBody(stream, {IntoList(parameters)}); }

// ---- windows ----

void TtucWindow::LoadFromStream(SkinReader& stream) { LoadFromStreamVers(stream, stream.Int32()); }

void TtucWindow::LoadFromStream(MemoryStream& stream) {
    auto all = std::span<const std::uint8_t>(stream.Bytes());
    auto start = static_cast<size_t>(std::min<std::int64_t>(stream.Position(), stream.Size()));
    SkinReader reader(all.subspan(start));
    LoadFromStream(reader);
    stream.Seek(static_cast<std::int64_t>(start + reader.Position()), SeekOrigin::Begin);
}

void TtucWindow::LoadFromStreamVers(SkinReader& stream, std::int32_t vers) {
    if (vers != Version()) return;
    std::int32_t count = stream.Int32();
    auto elements = Elements();
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint8_t id = stream.Byte();
        auto it = std::find_if(elements.begin(), elements.end(), [id](const auto& e) { return e.id == id; });
        if (it == elements.end()) {
            stream.SizedBlock();  // an element this launcher does not know: skipped by its size
            continue;
        }
        std::visit([&stream](auto* element) { element->LoadFromStream2(stream); }, it->element);
    }
}

std::vector<TtucElementRef> TtucMainWindow::Elements() {
    return {{1, "BackGroundImage", &BackGroundImage},
            {2, "Button_StartGame", &Button_StartGame},
            {3, "Button_Cancel", &Button_Cancel},
            {4, "Button_CheckAllFiles", &Button_CheckAllFiles},
            {5, "Button_Close", &Button_Close},
            {6, "Button_Minimize", &Button_Minimize},
            {7, "Button_Config", &Button_Config},
            {8, "Progress_OneFile", &Progress_OneFile},
            {9, "Progress_Total", &Progress_Total},
            {10, "Text_Title", &Text_Title},
            {11, "Text_Status", &Text_Status},
            {12, "WebPanel", &WebPanel},
            {13, "Gauge_OneFile", &Gauge_OneFile},
            {14, "Gauge_Total", &Gauge_Total},
            {15, "Box_LangFolder", &Box_LangFolder},
            {16, "Text_StatusTotal", &Text_StatusTotal},
            {17, "Text_LangBoxDescription", &Text_LangBoxDescription}};
}

std::vector<TtucElementRef> TtucConfigWindow::Elements() {
    return {{1, "BackGroundImage", &BackGroundImage},
            {2, "Text_Title", &Text_Title},
            {3, "Text_Language", &Text_Language},
            {4, "Text_Autoclose", &Text_Autoclose},
            {5, "Text_Proxy", &Text_Proxy},
            {6, "Text_DriveType", &Text_DriveType},
            {7, "Text_CheckType", &Text_CheckType},
            {8, "Box_Language", &Box_Language},
            {9, "Check_Autoclose", &Check_Autoclose},
            {10, "Box_Proxy", &Box_Proxy},
            {11, "Box_DriveType", &Box_DriveType},
            {12, "Box_CheckType", &Box_CheckType},
            {13, "Button_Ok", &Button_Ok}};
}

void TtucConfig::LoadFromFile(const std::string& filename) {
    std::ifstream in(PathFromUtf8(filename), std::ios::binary);
    if (!in) throw TarvosError("Cannot open file " + filename);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SkinReader reader(bytes);
    MainWindow.LoadFromStream(reader);
    ConfigWindow.LoadFromStream(reader);
    auto rest = reader.Take(reader.Remaining());
    CfgParameters = SplitLines(DecodeText(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size())));
}

}  // namespace tarvos

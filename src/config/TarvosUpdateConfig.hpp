#pragma once
#include <cstdint>
#include <map>
#include <functional>
#include <variant>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "config/SkinReader.hpp"
#include "platform/MemoryStream.hpp"
#include "platform/Bitmap.hpp"
#include "platform/RegionData.hpp"

namespace tarvos {

class TControl;
class TForm;
class TImageButton;
class TXiGauge;
class TXiProgressBar;

using TStringList = std::vector<std::string>;

// What every skinned element shares: its parameter lines ("key=value") and their readings.
// Keys are compared exactly (letter case counts); a missing key reads as empty, 0 or false.
class TtucElement {
public:
    TStringList parameters;

    std::string Value(std::string_view key) const;
    std::int32_t IntValue(std::string_view key) const;
    bool BoolValue(std::string_view key) const;

    // Places the widget: "Left", "Top", "Width", "Height", "Visible", "Enabled", in this order.
    void SavePlacement(TControl& target) const;

protected:
    // Reads the sub-blocks of one block body in order; a body that ends before a sub-block
    // leaves that sub-block's target as it was.
    using SubBlock = std::function<void(std::span<const std::uint8_t>)>;
    static void ReadBody(SkinReader& stream, std::initializer_list<SubBlock> subBlocks);
    static SubBlock IntoList(TStringList& list);
    static SubBlock IntoBitmap(Bitmap& bitmap);
};

struct TtucPlacement {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
};

class TtucBackGround : public TtucElement {
public:
    Bitmap image;
    std::vector<std::uint8_t> region;  // raw region data

    void LoadFromStream2(SkinReader& stream);
    // The outline's rectangles; nothing when `region` is empty or not region data.
    std::optional<std::vector<RegionRect>> GetRegion() const;
    void SaveToForm(Bitmap& target) const { target = image; }
};

class TtucButton : public TtucElement {
public:
    std::int32_t left = 0, top = 0;
    Bitmap common, over, disabled, down, up;
    TStringList btn_script;

    void LoadFromStream2(SkinReader& stream);
    // The five pictures, the placement, then the normal picture's size wins.
    void SaveToForm(TImageButton& target) const;
};

class TtucGauge : public TtucElement {
public:
    TtucPlacement data;
    Bitmap FTex, BTex;

    void LoadFromStream2(SkinReader& stream);
    void SaveToForm(TXiGauge& target) const;
};

// The elements that carry parameters only.
class TtucParamElement : public TtucElement {
public:
    void LoadFromStream2(SkinReader& stream);
};

class TtucLangFolder : public TtucParamElement {
public:
    struct {
        std::int32_t left = 0, top = 0, width = 0, height = 0;
        std::uint32_t FColor = 0, BColor = 0;
        std::int32_t FSize = 0;
    } data;
    // For a panel or a combo box alike: placement, font size and colour, background colour.
    void SaveToForm(TControl& target) const;
};

class TtucProgress : public TtucParamElement {
public:
    struct {
        std::int32_t left = 0, top = 0, width = 0, height = 0;
        std::uint32_t CForeFace = 0, CForeGrad = 0, CBackFace = 0, CBackGrad = 0, CBorder = 0;
        std::int32_t Style = 0;
    } data;
    // Placement and the four gradient colours; the border colour is not part of a skin.
    void SaveToForm(TXiProgressBar& target) const;
};

class TtucLabel : public TtucParamElement {
public:
    struct {
        std::int32_t left = 0, top = 0, Color = 0, size = 0;
        bool Bold = false, Italic = false, Underline = false;
    } data;
    // For a plain or a shadowed label alike: placement, font size, colour and styles.
    void SaveToForm(TControl& target) const;
};

class TtucWebPanel : public TtucParamElement {
public:
    TtucPlacement data;
    void SaveToForm(TControl& target) const { SavePlacement(target); }
};

// One element of a window as the section format knows it: its block id, its name and the
// element itself.
struct TtucElementRef {
    std::uint8_t id;
    const char* name;
    std::variant<TtucBackGround*, TtucButton*, TtucGauge*, TtucParamElement*> element;
};

// A window's skin section: version, block count, blocks of (id, size, body).
class TtucWindow {
public:
    virtual ~TtucWindow() = default;
    // Reads the version and, when it is this window's, the blocks. Throws TarvosError when a
    // size runs past the end of the data or a picture is damaged.
    void LoadFromStream(SkinReader& stream);
    // The same from a memory stream's position, which then stands right after the section.
    void LoadFromStream(MemoryStream& stream);
    void LoadFromStreamVers(SkinReader& stream, std::int32_t vers);

    virtual std::int32_t Version() const = 0;
    // Every element with its block id, in id order.
    virtual std::vector<TtucElementRef> Elements() = 0;
};

class TtucMainWindow : public TtucWindow {
public:
    static constexpr std::int32_t kVersion = 12346;
    TtucBackGround BackGroundImage;
    TtucButton Button_StartGame, Button_Cancel, Button_CheckAllFiles, Button_Close, Button_Minimize, Button_Config;
    TtucProgress Progress_OneFile, Progress_Total;
    TtucLabel Text_Title, Text_Status, Text_StatusTotal;
    TtucLangFolder Box_LangFolder;
    TtucLabel Text_LangBoxDescription;
    TtucGauge Gauge_OneFile, Gauge_Total;
    TtucWebPanel WebPanel;

    std::int32_t Version() const override { return kVersion; }
    std::vector<TtucElementRef> Elements() override;
    // Applies every element to the widget of its role; a widget the form lacks is added.
    void SetDataToForm(TForm& target) const;
};

class TtucConfigWindow : public TtucWindow {
public:
    static constexpr std::int32_t kVersion = 23457;
    TtucBackGround BackGroundImage;
    TtucLabel Text_Title, Text_Language, Text_Autoclose, Text_Proxy, Text_DriveType, Text_CheckType;
    TtucWebPanel Box_Language, Check_Autoclose, Box_Proxy, Box_DriveType, Box_CheckType, Button_Ok;

    std::int32_t Version() const override { return kVersion; }
    std::vector<TtucElementRef> Elements() override;
    void SetDataToForm(TForm& target) const;
};

class TtucConfig {
public:
    TtucMainWindow MainWindow;
    TtucConfigWindow ConfigWindow;
    TStringList CfgParameters;

    // Reads an unscrambled, uncompressed package file: both sections, then the rest as lines.
    void LoadFromFile(const std::string& filename);
    // Applies both windows and hands over the configuration lines.
    void SetDataToForm(TForm& target_mw, TForm& target_cw, TStringList& params) const;
};

}  // namespace tarvos

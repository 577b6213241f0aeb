#include "config/uSettings.hpp"

#include <algorithm>

#include "config/IntegerReading.hpp"
#include "config/SkinApplication.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {

constexpr TColor kTextColour = 31929;   // 0x007CB9
constexpr TColor kTitleColour = 36821;  // 0x008FD5
constexpr TColor kBoxColour = 4870746;  // 0x4A525A
constexpr TColor kWhite = RgbColor(255, 255, 255);
constexpr int kGrowStep = 10;
constexpr int kGrowIntervalMs = 20;

TLabel& AddLabel(TForm& form, const char* name, int left, int top, const char* caption, bool rightToLeft) {
    auto& label = form.Add<TLabel>(name);
    label.Left = left, label.Top = top;
    label.Caption = caption;
    label.Transparent = true;
    label.RightToLeft = rightToLeft;
    label.Font = {"MS Sans Serif", 8, 13, kTextColour, false, false, false};
    return label;
}

TComboBox& AddBox(TForm& form, const char* name, int left, int top, int width, std::vector<std::string> items,
                  int selected) {
    auto& box = form.Add<TComboBox>(name);
    box.Left = left, box.Top = top, box.Width = width, box.Height = 21;
    box.Cursor = TCursor::HandPoint;
    box.Items = std::move(items);
    box.ItemIndex = selected;
    box.Color = kBoxColour;
    box.Font = {"Tahoma", 8, 0, kWhite, true, false, false};
    return box;
}

TImage& AddBackground(TForm& form) {
    auto& image = form.Add<TImage>("BackgroundImage");
    image.Width = form.Width, image.Height = form.Height;
    return image;
}

TCheckBox& AddCheck(TForm& form) {
    auto& check = form.Add<TCheckBox>("Check_Autoclose");
    check.Left = 335, check.Top = 136, check.Width = 13, check.Height = 17;
    check.Cursor = TCursor::HandPoint;
    check.Font = form.Font;
    return check;
}

TButton& AddOk(TForm& form) {
    auto& ok = form.Add<TButton>("Button_Ok");
    ok.Left = 400, ok.Top = 304, ok.Width = 99, ok.Height = 33;
    ok.Cursor = TCursor::HandPoint;
    ok.Caption = "Ok";
    ok.Font = form.Font;
    ok.Font.Bold = true;
    ok.ModalResult = TModalResult::Ok;
    return ok;
}

TForm& DefineWindow(TForm& form) {
    form.Width = 520, form.Height = 360;
    form.Color = 0;
    form.Font = {"Tahoma", 8, 0, kTextColour, false, false, false};
    return form;
}

// A proxy entry's display name: the text before its first "|", trimmed; none without "|".
std::string ProxyName(const std::string& entry) {
    size_t bar = entry.find('|');
    return bar == std::string::npos ? std::string() : TrimText(std::string_view(entry).substr(0, bar));
}

}  // namespace

TFSettings::TFSettings(Deps deps)
    : BackgroundImage(AddBackground(DefineWindow(Form))),
      Text_Title(AddLabel(Form, "Text_Title", 253, 72, "Title", false)),
      Text_Language(AddLabel(Form, "Text_Language", 271, 108, "language", true)),
      Text_Autoclose(AddLabel(Form, "Text_Autoclose", 269, 135, "autoclose", true)),
      Text_Proxy(AddLabel(Form, "Text_Proxy", 265, 162, "proxylabel", true)),
      Text_DriveType(AddLabel(Form, "Text_DriveType", 231, 193, "Text_DriveType", true)),
      Text_CheckType(AddLabel(Form, "Text_CheckType", 225, 224, "Text_CheckType", true)),
      Box_Language(AddBox(Form, "Box_Language", 335, 107, 73, {"English"}, -1)),
      Check_Autoclose(AddCheck(Form)),
      Box_Proxy(AddBox(Form, "Box_Proxy", 335, 161, 164, {"Auto"}, -1)),
      Box_DriveType(AddBox(Form, "Box_DriveType", 335, 192, 164, {"HDD", "SSD"}, 0)),
      Box_CheckType(AddBox(Form, "Box_CheckType", 335, 223, 164,
                           {"Hard: MD5 Hash", "Medium: Size & Date", "Light: Previous List"}, 0)),
      Button_Ok(AddOk(Form)),
      FadeIn(deps.loop, kGrowIntervalMs),
      config_(deps.config),
      skin_(deps.skin),
      user_(deps.user),
      texts_(deps.texts),
      view_(deps.view) {
    Text_Title.Font.Bold = true;
    Text_Title.Font.Color = kTitleColour;
    Box_Language.OnChange = [this] { Box_LanguageChange(); };
    Button_Ok.OnClick = [this] { Button_OkClick(); };
    FadeIn.OnTimer([this] { FadeInTimer(); });
    FormCreate();
}

void TFSettings::FormCreate() {
    SetSettingsWindowBackground(Form, skin_.BackGroundImage);
    Box_Language.Clear();
    for (const auto& language : config_.LanguageCollection.List)
        Box_Language.Items.push_back(language.object ? language.object->Item : std::string());
    ApplySwitches();
    view_.OutlineChanged(Form);
    view_.FormChanged(Form);
}

void TFSettings::ApplySwitches() {
    const auto& c = config_.Config;
    Box_Language.Enabled = c.UserCan_ChangeLanguage;
    Check_Autoclose.Checked = c.DefaultAutoClose;
    Check_Autoclose.Enabled = c.UserCan_ChangeAutoClose;
    Box_Proxy.Enabled = c.UserCan_ChangeProxy;
    Box_DriveType.Enabled = c.UserCan_ChangeDriveType;
    if (!Box_DriveType.Enabled) Box_DriveType.ItemIndex = 0;
    Box_CheckType.Enabled = c.UserCan_ChangeCheckMethod;
    if (!Box_CheckType.Enabled) Box_CheckType.ItemIndex = 0;
}

void TFSettings::FormShow() {
    ApplySwitches();
    SetLanguage();
    const bool grow = config_.SettingsWindow.FadeEffect;
    if (grow) {
        FormWidth = Form.Width;
        Form.Width = 0;
    }
    SelectLanguage();
    if (Check_Autoclose.Enabled) Check_Autoclose.Checked = user_.AutoClose;
    FillProxies();
    if (Box_DriveType.Enabled) Box_DriveType.ItemIndex = LowerUser(user_.DriveType) == "hdd" ? 0 : 1;
    if (Box_CheckType.Enabled) {
        const std::string mode = LowerUser(user_.CheckMode);
        if (mode == "hard: md5 hash")
            Box_CheckType.ItemIndex = 0;
        else if (mode == "medium: size & date")
            Box_CheckType.ItemIndex = 1;
        else if (mode == "light: previous list")
            Box_CheckType.ItemIndex = 2;
    }
    view_.FormChanged(Form);
    view_.BoundsChanged(Form);
    if (grow) FadeIn.SetEnabled(true);
}

void TFSettings::SelectLanguage() {
    if (!Box_Language.Enabled) return;
    const auto& languages = config_.LanguageCollection.List;
    const std::string wanted = std::to_string(user_.LangConst);
    for (size_t i = 0; i < languages.size() && i < Box_Language.Items.size(); ++i)
        if (languages[i].text == wanted) {
            Box_Language.ItemIndex = static_cast<int>(i);
            return;
        }
}

void TFSettings::FillProxies() {
    Box_Proxy.Items = {"Auto"};
    int selected = 0;
    if (Box_Proxy.Enabled) {
        const std::string wanted = LowerUser(user_.SelProxy);
        const auto& proxies = config_.ProxyServers.Servers;
        for (size_t i = 0; i < proxies.size(); ++i) {
            std::string name = ProxyName(proxies[i]);
            if (LowerUser(name) == wanted) selected = static_cast<int>(i) + 1;
            Box_Proxy.Items.push_back(std::move(name));
        }
    }
    Box_Proxy.ItemIndex = selected;
}

void TFSettings::FadeInTimer() {
    int width = Form.Width + kGrowStep;
    if (width >= FormWidth) {
        FadeIn.SetEnabled(false);
        width = FormWidth;
    }
    Form.Width = width;
    view_.BoundsChanged(Form);
}

void TFSettings::SetLanguage() {
    Text_Title.Caption = texts_[12];
    Text_Language.Caption = texts_[13];
    Text_Autoclose.Caption = texts_[14];
    Text_Proxy.Caption = texts_[20];
    Text_DriveType.Caption = texts_[22];
    Text_CheckType.Caption = texts_[23];
}

void TFSettings::Box_LanguageChange() {
    if (!Box_Language.Enabled) return;
    const auto& languages = config_.LanguageCollection.List;
    const int at = Box_Language.ItemIndex;
    // Nothing is selected (or no language exists): there is nothing to apply.
    if (at < 0 || at >= static_cast<int>(languages.size())) return;
    user_.LangConst = ReadInteger32(languages[static_cast<size_t>(at)].text);
    config_.SetLanguageArray(user_.LangConst, texts_);
    SetLanguage();
    view_.FormChanged(Form);
}

void TFSettings::Button_OkClick() { view_.CloseModal(TModalResult::Ok); }

TModalResult TFSettings::ShowModal() {
    FormShow();
    TModalResult result = view_.ShowModal(Form);
    if (FadeIn.Enabled()) {
        FadeIn.SetEnabled(false);
        Form.Width = FormWidth;
        view_.BoundsChanged(Form);
    }
    return result;
}

}  // namespace tarvos

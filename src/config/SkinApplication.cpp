// Applying a loaded skin to the windows' widgets.
#include "config/SkinApplication.hpp"

#include "widgets/ButtonComps.hpp"
#include "widgets/XiGauge.hpp"
#include "widgets/XiProgressBar.hpp"

namespace tarvos {

void TtucElement::SavePlacement(TControl& target) const {
    target.Left = IntValue("Left");
    target.Top = IntValue("Top");
    target.Width = IntValue("Width");
    target.Height = IntValue("Height");
    target.Visible = BoolValue("Visible");
    target.Enabled = BoolValue("Enabled");
}

void TtucButton::SaveToForm(TImageButton& target) const {
    target.Bmp = common;
    target.MOver = over;
    target.BmpDAble = disabled;
    target.MDown = down;
    target.MUp = up;
    SavePlacement(target);
    target.RePaint();
}

void TtucGauge::SaveToForm(TXiGauge& target) const {
    target.SetTextureBack(BTex);
    target.SetTextureFore(FTex);
    SavePlacement(target);
}

void TtucProgress::SaveToForm(TXiProgressBar& target) const {
    SavePlacement(target);
    target.SetColor(TXiProgressBar::ciForeFace, static_cast<TColor>(IntValue("CForeFace")));
    target.SetColor(TXiProgressBar::ciForeGrad, static_cast<TColor>(IntValue("CForeGrad")));
    target.SetColor(TXiProgressBar::ciBackFace, static_cast<TColor>(IntValue("CBackFace")));
    target.SetColor(TXiProgressBar::ciBackGrad, static_cast<TColor>(IntValue("CBackGrad")));
    target.SetOrientation(IntValue("Orientation") == 0 ? TOrientation::Horizontal : TOrientation::Vertical);
}

void TtucLabel::SaveToForm(TControl& target) const {
    SavePlacement(target);
    target.Font.SetSize(IntValue("Size"));
    target.Font.Color = static_cast<TColor>(IntValue("Color"));
    target.Font.Bold = BoolValue("Bold");
    target.Font.Italic = BoolValue("Italic");
    target.Font.Underline = BoolValue("Underline");
}

void TtucLangFolder::SaveToForm(TControl& target) const {
    SavePlacement(target);
    target.Font.SetSize(IntValue("FSize"));
    target.Font.Color = static_cast<TColor>(IntValue("FColor"));
    target.Color = static_cast<TColor>(IntValue("BColor"));
}

void TtucMainWindow::SetDataToForm(TForm& target) const {
    BackGroundImage.SaveToForm(target.Ensure<TImage>("BackGroundImage").Picture);
    for (auto [element, name] : {std::pair{&Button_StartGame, "Button_StartGame"},
                                 {&Button_Cancel, "Button_Cancel"},
                                 {&Button_CheckAllFiles, "Button_CheckAllFiles"},
                                 {&Button_Close, "Button_Close"},
                                 {&Button_Minimize, "Button_Minimize"},
                                 {&Button_Config, "Button_Config"}})
        element->SaveToForm(target.Ensure<TImageButton>(name));
    Progress_OneFile.SaveToForm(target.Ensure<TXiProgressBar>("ProgressBar_OneFile"));
    Progress_Total.SaveToForm(target.Ensure<TXiProgressBar>("ProgressBar_Total"));
    Text_Title.SaveToForm(target.Ensure<TLabel>("Text_Title"));
    Text_Status.SaveToForm(target.Ensure<TLabel>("Text_Status"));
    Text_StatusTotal.SaveToForm(target.Ensure<TLabel>("Text_StatusTotal"));
    WebPanel.SaveToForm(target.Ensure<TPanel>("WebPanel"));
    Gauge_OneFile.SaveToForm(target.Ensure<TXiGauge>("Gauge_OneFile"));
    Gauge_Total.SaveToForm(target.Ensure<TXiGauge>("Gauge_Total"));
    Text_LangBoxDescription.SaveToForm(target.Ensure<TLabel>("Text_LangBoxDescription"));
    // Box_LangFolder has no widget on the main window.
}

void TtucConfigWindow::SetDataToForm(TForm& target) const {
    BackGroundImage.SaveToForm(target.Ensure<TImage>("BackgroundImage").Picture);
    for (auto [element, name] : {std::pair{&Text_Title, "Text_Title"},
                                 {&Text_Language, "Text_Language"},
                                 {&Text_Autoclose, "Text_Autoclose"},
                                 {&Text_Proxy, "Text_Proxy"},
                                 {&Text_DriveType, "Text_DriveType"},
                                 {&Text_CheckType, "Text_CheckType"}})
        element->SaveToForm(target.Ensure<TLabel>(name));
    Box_Language.SaveToForm(target.Ensure<TComboBox>("Box_Language"));
    Check_Autoclose.SaveToForm(target.Ensure<TCheckBox>("Check_Autoclose"));
    Box_Proxy.SaveToForm(target.Ensure<TComboBox>("Box_Proxy"));
    Box_DriveType.SaveToForm(target.Ensure<TComboBox>("Box_DriveType"));
    Box_CheckType.SaveToForm(target.Ensure<TComboBox>("Box_CheckType"));
    Button_Ok.SaveToForm(target.Ensure<TButton>("Button_Ok"));
}

void TtucConfig::SetDataToForm(TForm& target_mw, TForm& target_cw, TStringList& params) const {
    MainWindow.SetDataToForm(target_mw);
    ConfigWindow.SetDataToForm(target_cw);
    params = CfgParameters;
}

std::vector<RegionRect> TransparentColorOutline(const Bitmap& picture) {
    if (picture.Empty()) return {};
    const std::uint32_t key = picture.ColorAt(0, 0);
    return OutlineRects(picture, [&](int x, int y) { return picture.ColorAt(x, y) != key; });
}

void SetMainWindowBackground(TForm& form, const TtucBackGround& background) {
    form.Width = background.image.width;
    form.Height = background.image.height;
    background.SaveToForm(form.Ensure<TImage>("BackGroundImage").Picture);
    form.BackgroundPattern = background.image;
    form.Outline = background.GetRegion();
}

void SetSettingsWindowBackground(TForm& form, const TtucBackGround& background) {
    background.SaveToForm(form.Ensure<TImage>("BackgroundImage").Picture);
    form.BackgroundPattern = background.image;
    form.Outline = TransparentColorOutline(background.image);
}

}  // namespace tarvos

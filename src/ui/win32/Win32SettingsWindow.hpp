#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "config/SettingsView.hpp"
#include "platform/EventLoop.hpp"

namespace tarvos {

// The settings window: a borderless pop-up owned by the main window, shaped by its form's
// outline, showing the form's picture and texts with system drop-down lists (drawn in the
// form's colours), a check box and the OK button over it.
class Win32SettingsWindow final : public SettingsView {
public:
    Win32SettingsWindow(EventLoop& loop, HWND owner);
    ~Win32SettingsWindow() override;
    Win32SettingsWindow(const Win32SettingsWindow&) = delete;
    Win32SettingsWindow& operator=(const Win32SettingsWindow&) = delete;

    HWND Handle() const { return hwnd_; }

    void FormChanged(const TForm& form) override;
    void OutlineChanged(const TForm& form) override;
    void BoundsChanged(const TForm& form) override;
    TModalResult ShowModal(TForm& form) override;
    void CloseModal(TModalResult result) override;

private:
    template <class T>
    friend LRESULT CALLBACK ObjectWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Proc(UINT msg, WPARAM wp, LPARAM lp);
    void Paint(HDC dc);
    void Command(int id, int code);
    void DrawItem(const DRAWITEMSTRUCT& item);
    void DrawButton(const DRAWITEMSTRUCT& item, const TButton& button);
    TControl* ControlOf(int id) const;

    EventLoop& loop_;
    HWND owner_;
    HWND hwnd_ = nullptr;
    const TForm* form_ = nullptr;
    std::map<const TControl*, HWND> children_;
    std::map<const TControl*, std::vector<std::string>> items_;
    bool modal_ = false;
    TModalResult result_ = TModalResult::None;
    HBRUSH checkBrush_ = nullptr;
    COLORREF checkColour_ = 0;
};

}  // namespace tarvos

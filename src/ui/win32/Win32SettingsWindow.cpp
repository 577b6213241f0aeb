#include "ui/win32/Win32SettingsWindow.hpp"

#include <windowsx.h>

#include <algorithm>

#include "platform/Error.hpp"
#include "platform/HandlerBoundary.hpp"
#include "ui/win32/GdiText.hpp"
#include "platform/win32/MessageWindow.hpp"

namespace tarvos {

namespace {

constexpr wchar_t kClassName[] = L"TarvosSettingsWindow";
constexpr int kFirstId = 100;

COLORREF Colour(TColor c) { return static_cast<COLORREF>(c & 0xFFFFFF); }

// The highlighted item: the box colour lightened halfway to white.
COLORREF Lighter(TColor c) {
    auto mix = [](int v) { return static_cast<BYTE>(v + (255 - v) / 3); };
    return RGB(mix(c & 0xFF), mix((c >> 8) & 0xFF), mix((c >> 16) & 0xFF));
}

}  // namespace

Win32SettingsWindow::Win32SettingsWindow(EventLoop& loop, HWND owner) : loop_(loop), owner_(owner) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &ObjectWindowProc<Win32SettingsWindow>;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClassName;
        RegisterClassExW(&wc);
        registered = true;
    }
    hwnd_ = CreateWindowExW(0, kClassName, L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 520, 360, owner, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) throw TarvosError("Cannot create the settings window");
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32SettingsWindow::~Win32SettingsWindow() {
    if (checkBrush_) DeleteObject(checkBrush_);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

LRESULT Win32SettingsWindow::Proc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PaintScope paint(hwnd_);
            Paint(paint.Dc());
            return 0;
        }
        case WM_COMMAND:
            Command(LOWORD(wp), HIWORD(wp));
            return 0;
        case WM_MEASUREITEM: {
            auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
            m->itemHeight = 15;
            return TRUE;
        }
        case WM_DRAWITEM:
            DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lp));
            return TRUE;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            // The check box sits on the picture: around its square, the picture's colour there.
            HDC dc = reinterpret_cast<HDC>(wp);
            SetBkMode(dc, TRANSPARENT);
            RECT r;
            GetWindowRect(reinterpret_cast<HWND>(lp), &r);
            MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
            COLORREF under = RGB(0, 0, 0);
            if (form_ && r.left >= 0 && r.top >= 0 && r.left < form_->BackgroundPattern.width &&
                r.top < form_->BackgroundPattern.height)
                under = Colour(form_->BackgroundPattern.ColorAt(r.left, r.top));
            if (under != checkColour_ || !checkBrush_) {
                if (checkBrush_) DeleteObject(checkBrush_);
                checkBrush_ = CreateSolidBrush(under);
                checkColour_ = under;
            }
            return reinterpret_cast<LRESULT>(checkBrush_);
        }
        case WM_SETCURSOR: {
            auto* child = reinterpret_cast<HWND>(wp);
            for (const auto& [control, handle] : children_)
                if (handle == child || IsChild(handle, child)) {
                    if (control->Cursor == TCursor::HandPoint && control->Enabled) {
                        ::SetCursor(LoadCursorW(nullptr, IDC_HAND));
                        return TRUE;
                    }
                }
            break;
        }
        case WM_LBUTTONDOWN:
            // Dragged by its background like the main window.
            ReleaseCapture();
            SendMessageW(hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
            return 0;
        case WM_CLOSE:
            CloseModal(TModalResult::Cancel);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

TControl* Win32SettingsWindow::ControlOf(int id) const {
    if (!form_) return nullptr;
    const auto& controls = form_->Controls();
    const int index = id - kFirstId;
    return index >= 0 && index < static_cast<int>(controls.size()) ? controls[static_cast<size_t>(index)].get() : nullptr;
}

void Win32SettingsWindow::Command(int id, int code) {
    // The keyboard's commands (see SetKeyboardDialog): Enter is the OK button, Escape closes.
    if (id == IDCANCEL) return CloseModal(TModalResult::Cancel);
    if (id == IDOK && form_) {
        for (const auto& c : form_->Controls())
            if (auto* b = dynamic_cast<TButton*>(c.get()); b && b->ModalResult == TModalResult::Ok && b->Enabled)
                return Command(kFirstId + static_cast<int>(&c - form_->Controls().data()), BN_CLICKED);
        return;
    }
    TControl* control = ControlOf(id);
    if (!control) return;
    const HWND child = children_.count(control) ? children_[control] : nullptr;
    if (auto* box = dynamic_cast<TComboBox*>(control); box && code == CBN_SELCHANGE) {
        box->ItemIndex = static_cast<int>(SendMessageW(child, CB_GETCURSEL, 0, 0));
        if (box->OnChange) box->OnChange();
    } else if (auto* check = dynamic_cast<TCheckBox*>(control); check && code == BN_CLICKED) {
        check->Checked = SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
    } else if (auto* button = dynamic_cast<TButton*>(control); button && code == BN_CLICKED) {
        if (button->OnClick)
            button->OnClick();
        else if (button->ModalResult != TModalResult::None)
            CloseModal(button->ModalResult);
    }
}

void Win32SettingsWindow::DrawButton(const DRAWITEMSTRUCT& item, const TButton& button) {
    // In the window's own colours: the drop-down lists' face, framed in the title's colour.
    TColor face = RgbColor(0x4A, 0x52, 0x5A), frame = RgbColor(0xD5, 0x8F, 0x00);
    for (const auto& c : form_->Controls()) {
        if (auto* box = dynamic_cast<const TComboBox*>(c.get())) face = box->Color;
        if (c->Name == "Text_Title") frame = c->Font.Color;
    }
    const bool pressed = item.itemState & ODS_SELECTED;
    HBRUSH brush = CreateSolidBrush(pressed ? Colour(face) : Lighter(face));
    FillRect(item.hDC, &item.rcItem, brush);
    DeleteObject(brush);
    HBRUSH edge = CreateSolidBrush(Colour(frame));
    FrameRect(item.hDC, &item.rcItem, edge);
    DeleteObject(edge);
    const std::wstring text = WideText(button.Caption);
    GdiFont font(button.Font);
    HGDIOBJ old = SelectObject(item.hDC, font.Handle());
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, button.Enabled ? RGB(255, 255, 255) : RGB(150, 150, 150));
    RECT r = item.rcItem;
    if (pressed) OffsetRect(&r, 1, 1);
    DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(item.hDC, old);
}

void Win32SettingsWindow::DrawItem(const DRAWITEMSTRUCT& item) {
    if (const auto* button = dynamic_cast<const TButton*>(ControlOf(static_cast<int>(item.CtlID)))) {
        DrawButton(item, *button);
        return;
    }
    const auto* box = dynamic_cast<const TComboBox*>(ControlOf(static_cast<int>(item.CtlID)));
    if (!box) return;
    const bool selected = (item.itemState & ODS_SELECTED) && !(item.itemState & ODS_COMBOBOXEDIT);
    HBRUSH brush = CreateSolidBrush(selected ? Lighter(box->Color) : Colour(box->Color));
    FillRect(item.hDC, &item.rcItem, brush);
    DeleteObject(brush);
    if (item.itemID == static_cast<UINT>(-1) || item.itemID >= box->Items.size()) return;
    const std::wstring text = WideText(box->Items[item.itemID]);
    GdiFont font(box->Font);
    HGDIOBJ old = SelectObject(item.hDC, font.Handle());
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, box->Enabled ? Colour(box->Font.Color) : RGB(150, 150, 150));
    RECT r = item.rcItem;
    r.left += 3;
    DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(item.hDC, old);
}

void Win32SettingsWindow::Paint(HDC dc) {
    if (!form_) return;
    TForm& form = const_cast<TForm&>(*form_);
    PaintComposed(dc, form, [&](HDC mem) {
        for (const auto& c : form.Controls())
            if (auto* label = dynamic_cast<TLabel*>(c.get()); label && label->Visible) DrawLabel(mem, *label);
    });
}

void Win32SettingsWindow::FormChanged(const TForm& form) {
    form_ = &form;
    const auto& controls = form.Controls();
    for (size_t i = 0; i < controls.size(); ++i) {
        const TControl* c = controls[i].get();
        const auto* box = dynamic_cast<const TComboBox*>(c);
        const auto* check = dynamic_cast<const TCheckBox*>(c);
        const auto* button = dynamic_cast<const TButton*>(c);
        if (!box && !check && !button) continue;
        HWND& child = children_[c];
        const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + static_cast<int>(i)));
        if (!child) {
            if (box)
                child = CreateWindowExW(0, L"COMBOBOX", nullptr,
                                        WS_CHILD | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED |
                                            CBS_HASSTRINGS,
                                        0, 0, 0, 0, hwnd_, id, GetModuleHandleW(nullptr), nullptr);
            else if (check)
                child = CreateWindowExW(0, L"BUTTON", nullptr, WS_CHILD | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 0, 0, 0,
                                        hwnd_, id, GetModuleHandleW(nullptr), nullptr);
            else
                child = CreateWindowExW(0, L"BUTTON", nullptr, WS_CHILD | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 0, 0,
                                        hwnd_, id, GetModuleHandleW(nullptr), nullptr);
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        }
        // A drop-down list's height includes its open list.
        const int height = box ? c->Height + 15 * std::clamp(static_cast<int>(box->Items.size()), 1, 8) + 4 : c->Height;
        SetWindowPos(child, nullptr, c->Left, c->Top, c->Width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        if (box) {
            // A list the user has open is left alone unless its items changed.
            auto& shown = items_[c];
            if (shown != box->Items) {
                SendMessageW(child, CB_RESETCONTENT, 0, 0);
                for (const auto& item : box->Items)
                    SendMessageW(child, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideText(item).c_str()));
                shown = box->Items;
            }
            if (SendMessageW(child, CB_GETCURSEL, 0, 0) != box->ItemIndex)
                SendMessageW(child, CB_SETCURSEL, static_cast<WPARAM>(box->ItemIndex), 0);
        } else if (check) {
            SendMessageW(child, BM_SETCHECK, check->Checked ? BST_CHECKED : BST_UNCHECKED, 0);
        } else {
            SetWindowTextW(child, WideText(button->Caption).c_str());
            InvalidateRect(child, nullptr, FALSE);
        }
        EnableWindow(child, c->Enabled);
        ShowWindow(child, c->Visible ? SW_SHOWNA : SW_HIDE);
    }
    // Not shown (the window has no frame), but it names the window for the desktop.
    if (auto* title = form.Find<TLabel>("Text_Title")) SetWindowTextW(hwnd_, WideText(title->Caption).c_str());
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void Win32SettingsWindow::OutlineChanged(const TForm& form) {
    form_ = &form;
    SetWindowRgn(hwnd_, form.Outline ? MakeRegion(*form.Outline) : nullptr, TRUE);
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void Win32SettingsWindow::BoundsChanged(const TForm& form) {
    form_ = &form;
    SetWindowPos(hwnd_, nullptr, form.Left, form.Top, form.Width, form.Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

TModalResult Win32SettingsWindow::ShowModal(TForm& form) {
    form_ = &form;
    FormChanged(form);
    OutlineChanged(form);
    BoundsChanged(form);
    result_ = TModalResult::None;
    modal_ = true;
    EnableWindow(owner_, FALSE);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(hwnd_);
    SetKeyboardDialog(hwnd_);
    while (modal_ && !loop_.Terminated()) loop_.WaitAndProcess();
    SetKeyboardDialog(nullptr);
    EnableWindow(owner_, TRUE);
    ShowWindow(hwnd_, SW_HIDE);
    SetForegroundWindow(owner_);
    return result_ == TModalResult::None ? TModalResult::Cancel : result_;
}

void Win32SettingsWindow::CloseModal(TModalResult result) {
    result_ = result;
    modal_ = false;
}

}  // namespace tarvos

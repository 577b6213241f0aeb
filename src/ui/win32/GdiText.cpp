#include "ui/win32/GdiText.hpp"

#include <cstring>
#include <new>

#include "platform/Text.hpp"

namespace tarvos {

std::wstring WideText(const std::string& utf8) {
    const std::u16string u = Utf8ToUtf16(utf8);
    return std::wstring(u.begin(), u.end());
}

GdiFont::GdiFont(const TFont& font) {
    LOGFONTW lf{};
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    lf.lfHeight = font.PixelHeight ? -font.PixelHeight : -MulDiv(font.Size > 0 ? font.Size : 8, dpi, 72);
    lf.lfWeight = font.Bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = font.Italic;
    lf.lfUnderline = font.Underline;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    const std::wstring face = WideText(font.Name);
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    font_ = CreateFontIndirectW(&lf);
}

GdiFont::~GdiFont() {
    if (font_) DeleteObject(font_);
}

void PaintComposed(HDC dc, TForm& form, const std::function<void(HDC)>& drawTexts) {
    if (form.Width <= 0 || form.Height <= 0) return;
    // Without the memory or the off-screen picture the window shows its plain face rather
    // than whatever was on the screen before.
    const auto plain = [&] {
        RECT all{0, 0, form.Width, form.Height};
        FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    };
    try {
        const Bitmap picture = PaintForm(form);
        OffscreenDc mem(dc, picture.width, picture.height);
        if (!mem) return plain();
        BlitPicture(mem.Dc(), 0, 0, picture);
        drawTexts(mem.Dc());
        BitBlt(dc, 0, 0, picture.width, picture.height, mem.Dc(), 0, 0, SRCCOPY);
    } catch (const std::bad_alloc&) {
        plain();
    }
}

OffscreenDc::OffscreenDc(HDC like, int width, int height) {
    dc_ = CreateCompatibleDC(like);
    if (dc_) bitmap_ = CreateCompatibleBitmap(like, width, height);
    if (bitmap_) old_ = SelectObject(dc_, bitmap_);
}

OffscreenDc::~OffscreenDc() {
    if (old_) SelectObject(dc_, old_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
}

namespace {

COLORREF Colour(TColor c) { return static_cast<COLORREF>(c & 0xFFFFFF); }

}  // namespace

void DrawLabel(HDC dc, const TLabel& label) {
    if (label.Caption.empty()) return;
    // Everything that can fail comes before the font is selected: a font deleted while
    // selected would stay behind.
    const std::wstring text = WideText(label.Caption);
    GdiFont font(label.Font);
    HGDIOBJ old = SelectObject(dc, font.Handle());
    SetBkMode(dc, TRANSPARENT);
    UINT format = DT_NOPREFIX;
    RECT r{label.Left, label.Top, label.Left + label.Width, label.Top + label.Height};
    if (label.WordWrap) {
        format |= DT_WORDBREAK;
    } else {
        format |= DT_SINGLELINE | DT_NOCLIP;
        if (label.RightToLeft) {
            format |= DT_RIGHT;
            r.left = r.right - 4000;
        } else {
            r.right = r.left + 4000;
        }
    }
    if (label.Shadowed) {
        RECT s{r.left + 1, r.top + 1, r.right + 1, r.bottom + 1};
        SetTextColor(dc, RGB(0, 0, 0));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &s, format);
    }
    SetTextColor(dc, Colour(label.Font.Color));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
    SelectObject(dc, old);
}

void DrawCentred(HDC dc, const TControl& control, const std::string& caption) {
    const std::wstring text = WideText(caption);
    GdiFont font(control.Font);
    HGDIOBJ old = SelectObject(dc, font.Handle());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Colour(control.Font.Color));
    RECT r{control.Left, control.Top, control.Left + control.Width, control.Top + control.Height};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
}

HRGN MakeRegion(const std::vector<RegionRect>& outline, RegionCreator create) {
    std::vector<std::uint8_t> data(sizeof(RGNDATAHEADER) + outline.size() * sizeof(RECT));
    auto* header = reinterpret_cast<RGNDATAHEADER*>(data.data());
    header->dwSize = sizeof(RGNDATAHEADER);
    header->iType = RDH_RECTANGLES;
    header->nCount = static_cast<DWORD>(outline.size());
    header->nRgnSize = static_cast<DWORD>(outline.size() * sizeof(RECT));
    RECT bounds{0, 0, 0, 0};
    auto* rects = reinterpret_cast<RECT*>(data.data() + sizeof(RGNDATAHEADER));
    for (size_t i = 0; i < outline.size(); ++i) {
        rects[i] = RECT{outline[i].left, outline[i].top, outline[i].right, outline[i].bottom};
        UnionRect(&bounds, &bounds, &rects[i]);
    }
    header->rcBound = bounds;
    // A region the system cannot make leaves the window rectangular: an empty region instead
    // would make the whole window invisible.
    return create(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<RGNDATA*>(data.data()));
}

void BlitPicture(HDC dc, int x, int y, const Bitmap& picture) {
    if (picture.Empty()) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(picture.width), static_cast<DWORD>(picture.height), 0, 0, 0,
                      static_cast<UINT>(picture.height), picture.pixels.data(), &info, DIB_RGB_COLORS);
}

}  // namespace tarvos

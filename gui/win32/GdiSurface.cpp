#include "gui/win32/GdiSurface.h"

#include <cstring>
#include <new>

namespace vl::win32 {

namespace {

const GdiFontFace fontFaces[8] = {
    {"Arial", FW_BOLD, 0x22},   {"Arial", FW_NORMAL, 0x22}, {"Arial", FW_NORMAL, 0x22},
    {"Arial", FW_NORMAL, 0x22}, {"Arial", FW_NORMAL, 0x22}, {"Arial", FW_NORMAL, 0x22},
    {"Arial", FW_NORMAL, 0x22}, {"Symbol", FW_NORMAL, 0x50},
};

} // namespace

const GdiFontFace& gdiFontFace(int id) {
    if (id < 0 || id > 7) id = 0;
    return fontFaces[id];
}

HFONT createGdiFont(int id, int height, bool plainWeight) {
    const GdiFontFace& face = gdiFontFace(id);
    LOGFONTA font{};
    font.lfHeight = -height; // character height, without internal leading
    font.lfWeight = plainWeight ? FW_NORMAL : face.weight;
    font.lfCharSet = ANSI_CHARSET;
    font.lfOutPrecision = OUT_STRING_PRECIS;
    font.lfClipPrecision = CLIP_STROKE_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = plainWeight ? BYTE(0x22) : face.pitchAndFamily;
    std::strncpy(font.lfFaceName, face.face, LF_FACESIZE - 1);
    return CreateFontIndirectA(&font);
}

GdiSurface::GdiSurface(HDC dc) : dc_(dc) {
    if (!dc_) return;
    oldBrush_ = GetCurrentObject(dc_, OBJ_BRUSH);
    oldPen_ = GetCurrentObject(dc_, OBJ_PEN);
    oldFont_ = GetCurrentObject(dc_, OBJ_FONT);
    SetBkMode(dc_, TRANSPARENT);
    setPen(RGB(255, 255, 255), 0, 1);
    setFill(RGB(0, 0, 0));
    setTextColor(RGB(255, 255, 255));
}

GdiSurface::~GdiSurface() {
    if (dc_) {
        if (oldBrush_) SelectObject(dc_, oldBrush_);
        if (oldPen_) SelectObject(dc_, oldPen_);
        if (oldFont_) SelectObject(dc_, oldFont_);
    }
    if (brush_) DeleteObject(brush_);
    if (pen_) DeleteObject(pen_);
    if (font_) DeleteObject(font_);
}

void GdiSurface::setPen(COLORREF color, int lineStyle, int width) {
    if (!dc_) return;
    LOGPEN description{};
    description.lopnStyle = lineStyle == 1 ? PS_DOT : PS_SOLID;
    description.lopnWidth.x = width;
    description.lopnColor = color;
    HPEN pen = CreatePenIndirect(&description);
    if (!pen) return;
    SelectObject(dc_, pen);
    if (pen_) DeleteObject(pen_);
    pen_ = pen;
}

void GdiSurface::setFill(COLORREF color) {
    if (!dc_) return;
    SetBkColor(dc_, color);
    LOGBRUSH description{};
    description.lbStyle = BS_SOLID;
    description.lbColor = color;
    HBRUSH brush = CreateBrushIndirect(&description);
    if (!brush) return;
    SelectObject(dc_, brush);
    if (brush_) DeleteObject(brush_);
    brush_ = brush;
}

void GdiSurface::setTextColor(COLORREF color) {
    if (dc_) SetTextColor(dc_, color);
}

void GdiSurface::setFont(int id, int height) {
    if (!dc_) return;
    HFONT font = createGdiFont(id, height);
    if (!font) return;
    SelectObject(dc_, font);
    if (font_) DeleteObject(font_);
    font_ = font;
}

void GdiSurface::moveTo(int x, int y) {
    if (dc_) MoveToEx(dc_, x, y, nullptr);
}

void GdiSurface::lineTo(int x, int y) {
    if (dc_) LineTo(dc_, x, y);
}

void GdiSurface::drawRect(int left, int top, int right, int bottom) {
    if (!dc_) return;
    const POINT path[5] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}};
    Polyline(dc_, path, 5);
}

void GdiSurface::fillRect(int left, int top, int right, int bottom) {
    if (!dc_ || !brush_) return;
    HGDIOBJ previousPen = SelectObject(dc_, GetStockObject(NULL_PEN));
    const RECT area{left + 1, top + 1, right, bottom};
    FillRect(dc_, &area, brush_);
    if (previousPen) SelectObject(dc_, previousPen);
}

void GdiSurface::drawString(const char* text, int left, int top, int right, int bottom, bool opaque,
                            int alignment) {
    if (!dc_ || !text) return;
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    if (alignment == 1) {
        format |= DT_CENTER;
    } else if (alignment == 2) {
        format |= DT_RIGHT;
    } else {
        left += 1;
    }
    SetBkMode(dc_, opaque ? OPAQUE : TRANSPARENT);
    RECT area{left, top, right, bottom};
    DrawTextA(dc_, text, -1, &area, format);
    SetBkMode(dc_, TRANSPARENT);
}

void GdiSurface::copyFrom(HDC source, int sx, int sy, int dx, int dy, int width, int height) {
    if (dc_ && source) BitBlt(dc_, dx, dy, width, height, source, sx, sy, SRCCOPY);
}

GdiOffscreen::GdiOffscreen(HWND window, int width, int height, COLORREF background)
    : width_(width > 0 ? width : 0), height_(height > 0 ? height : 0) {
    HDC reference = GetDC(window);
    if (!reference) return;
    dc_ = CreateCompatibleDC(reference);
    if (dc_) bitmap_ = CreateCompatibleBitmap(reference, width_ > 0 ? width_ : 1, height_ > 0 ? height_ : 1);
    ReleaseDC(window, reference);
    if (!dc_) return;
    if (!bitmap_) {
        DeleteDC(dc_);
        dc_ = nullptr;
        return;
    }
    oldBitmap_ = SelectObject(dc_, bitmap_);
    surface_ = new (std::nothrow) GdiSurface(dc_);
    if (surface_) {
        surface_->setFill(background);
        surface_->setPen(background, 0, 1);
        surface_->fillRect(0, 0, width_, height_);
        surface_->drawRect(0, 0, width_, height_);
    }
}

GdiOffscreen::~GdiOffscreen() {
    // The surface selects its original objects back first: nothing of ours may still be
    // selected when the context goes, and nothing may be selected into a deleted context.
    delete surface_;
    if (dc_) {
        if (oldBitmap_) SelectObject(dc_, oldBitmap_);
        DeleteDC(dc_);
    }
    if (bitmap_) DeleteObject(bitmap_);
}

} // namespace vl::win32

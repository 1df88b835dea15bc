// Off-screen images with their own canvas.
//
// TBitmap holds a QImage (32-bit RGB, with alpha when an assigned picture has it) and a TCanvas painting
// on it. A new or resized bitmap is white.
//
// Sizes are in the toolkit's (device-independent) pixels. A bitmap for a high-DPI screen holds more image
// pixels per toolkit pixel (DevicePixelRatio, 2 on a screen at scale 2): its canvas still draws in toolkit
// pixels, at the image's full resolution, and copies of it land on a screen at that resolution. A picture
// file "name.png" beside which a "name@2x.png" lies is read from the latter, at ratio 2.
// Reading the image through Image() first closes the canvas's painter so the pixels are complete; the
// next drawing call opens it again. TImage is the toolkit's picture holder: it owns one TBitmap and hands
// out its canvas; it is not a widget here (the controls only use it as an off-screen picture).
#pragma once

#include "toolkit/tk_canvas.h"

#include <QImage>
#include <QString>

class TBitmap {
public:
    TBitmap();
    TBitmap(int width, int height);
    ~TBitmap();
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int Width() const { return qRound(image_.deviceIndependentSize().width()); }
    int Height() const { return qRound(image_.deviceIndependentSize().height()); }
    // Image pixels per toolkit pixel (1 unless set or read so); changing it keeps the picture, rescaled.
    qreal DevicePixelRatio() const { return ratio_; }
    void SetDevicePixelRatio(qreal ratio);
    // Negative sizes count as 0. Pixels kept where old and new overlap; new area is white.
    void SetWidth(int w) { SetSize(w, Height()); }
    void SetHeight(int h) { SetSize(Width(), h); }
    void SetSize(int w, int h);
    bool Empty() const { return image_.isNull(); }

    TCanvas* Canvas() { return &canvas_; }
    // The pixels, complete (the canvas painter is closed first).
    const QImage& Image();
    // Replaces the pixels (converted to 32-bit RGB; transparency is kept when the image has any).
    void Assign(const QImage& image);
    void Assign(TBitmap* other);
    // Reads or writes an image file in any format Qt knows; false when it cannot.
    bool LoadFromFile(const QString& path);
    bool SaveToFile(const QString& path);

private:
    QImage image_;
    TCanvas canvas_;
    qreal ratio_ = 1;
};

class TImage {
public:
    TImage() = default;
    TBitmap* Bitmap() { return &bitmap_; }
    TBitmap* Picture() { return &bitmap_; }
    TCanvas* Canvas() { return bitmap_.Canvas(); }
    int Width() const { return bitmap_.Width(); }
    int Height() const { return bitmap_.Height(); }
    void SetSize(int w, int h) { bitmap_.SetSize(w, h); }

private:
    TBitmap bitmap_;
};

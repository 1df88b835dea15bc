// TBitmap: a QImage with its own canvas.
#include "toolkit/tk_image.h"

#include <QPainter>

TBitmap::TBitmap() { canvas_.SetDevice(&image_); }

TBitmap::TBitmap(int width, int height) : TBitmap() { SetSize(width, height); }

TBitmap::~TBitmap() { canvas_.SetDevice(nullptr); }

void TBitmap::SetSize(int w, int h) {
    w = std::max(w, 0);
    h = std::max(h, 0);
    if (w == Width() && h == Height()) return;
    canvas_.End();  // no painter may be open while the image is replaced
    QImage next;
    if (w > 0 && h > 0) {
        next = QImage(w, h, QImage::Format_RGB32);
        next.fill(Qt::white);
        if (!image_.isNull()) {
            QPainter p(&next);
            p.drawImage(0, 0, image_);
        }
    }
    image_ = next;
}

const QImage& TBitmap::Image() {
    canvas_.End();
    return image_;
}

void TBitmap::Assign(const QImage& image) {
    canvas_.End();
    // A picture with transparent parts (a button's glyph) keeps them; any other becomes 32-bit RGB.
    if (image.isNull())
        image_ = QImage();
    else
        image_ = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                               : QImage::Format_RGB32);
}

void TBitmap::Assign(TBitmap* other) {
    if (!other || other == this) return;
    Assign(other->Image());
}

bool TBitmap::LoadFromFile(const QString& path) {
    QImage img;
    if (!img.load(path)) return false;
    Assign(img);
    return true;
}

bool TBitmap::SaveToFile(const QString& path) { return Image().save(path); }

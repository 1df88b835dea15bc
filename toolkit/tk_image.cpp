// TBitmap: a QImage with its own canvas.
#include "toolkit/tk_image.h"

#include <QFileInfo>
#include <QPainter>
#include <cmath>

TBitmap::TBitmap() { canvas_.SetDevice(&image_); }

TBitmap::TBitmap(int width, int height) : TBitmap() { SetSize(width, height); }

TBitmap::~TBitmap() { canvas_.SetDevice(nullptr); }

void TBitmap::SetSize(int w, int h) {
    w = std::max(w, 0);
    h = std::max(h, 0);
    if (w == Width() && h == Height() && (image_.isNull() || image_.devicePixelRatio() == ratio_)) return;
    canvas_.End();  // no painter may be open while the image is replaced
    QImage next;
    if (w > 0 && h > 0) {
        next = QImage(int(std::ceil(w * ratio_)), int(std::ceil(h * ratio_)), QImage::Format_RGB32);
        next.setDevicePixelRatio(ratio_);
        next.fill(Qt::white);
        if (!image_.isNull()) {
            QPainter p(&next);
            p.drawImage(0, 0, image_);
        }
    }
    image_ = next;
}

void TBitmap::SetDevicePixelRatio(qreal ratio) {
    if (ratio <= 0) ratio = 1;
    if (ratio == ratio_) return;
    const int w = Width(), h = Height();
    ratio_ = ratio;
    if (!image_.isNull()) SetSize(w, h);
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
    ratio_ = image.isNull() ? ratio_ : image.devicePixelRatio();
}

void TBitmap::Assign(TBitmap* other) {
    if (!other || other == this) return;
    Assign(other->Image());
}

bool TBitmap::LoadFromFile(const QString& path) {
    const QFileInfo f(path);
    const QString twice = f.path() + QLatin1Char('/') + f.completeBaseName() + QStringLiteral("@2x") +
                          (f.suffix().isEmpty() ? QString() : QLatin1Char('.') + f.suffix());
    QImage img;
    if (QFileInfo::exists(twice) && img.load(twice)) {
        img.setDevicePixelRatio(2);
    } else if (!img.load(path)) {
        return false;
    }
    Assign(img);
    return true;
}

bool TBitmap::SaveToFile(const QString& path) { return Image().save(path); }

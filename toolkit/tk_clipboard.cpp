#include "toolkit/tk_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {
QClipboard* board() { return QGuiApplication::clipboard(); }
}  // namespace

QString TClipboard::AsText() const {
    QClipboard* b = board();
    return b ? b->text(QClipboard::Clipboard) : QString();
}

void TClipboard::SetAsText(const QString& text) {
    if (QClipboard* b = board()) b->setText(text, QClipboard::Clipboard);
}

void TClipboard::SetAsText(const char16_t* text) {
    if (!text) {
        Clear();
        return;
    }
    SetAsText(QString::fromUtf16(text));
}

int TClipboard::GetTextBuf(char16_t* buf, int cap) const {
    if (!buf || cap < 1) return 0;
    const QString t = AsText();
    const int n = std::min<int>(int(t.size()), cap - 1);
    for (int i = 0; i < n; ++i) buf[i] = t[i].unicode();
    buf[n] = 0;
    return n;
}

bool TClipboard::HasText() const {
    QClipboard* b = board();
    if (!b) return false;
    const QMimeData* d = b->mimeData(QClipboard::Clipboard);
    return d && d->hasText();
}

void TClipboard::Clear() {
    if (QClipboard* b = board()) b->clear(QClipboard::Clipboard);
}

TClipboard* Clipboard() {
    static TClipboard clipboard;
    return &clipboard;
}

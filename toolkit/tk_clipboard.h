// TClipboard: the application clipboard, holding Unicode text (over QClipboard).
//
// Text crosses as UTF-16 both ways, so Chinese text round-trips unchanged. Clipboard() is the one
// application-wide object; it needs a QGuiApplication.
#pragma once

#include <QString>

class TClipboard {
public:
    // The clipboard's text; empty when it holds none.
    QString AsText() const;
    void SetAsText(const QString& text);
    // Wide-text forms; a null pointer clears the clipboard.
    void SetAsText(const char16_t* text);
    // Copies at most cap - 1 code units and a terminator into buf; returns the number copied (0 for a null
    // buf or cap < 1).
    int GetTextBuf(char16_t* buf, int cap) const;
    bool HasText() const;
    void Clear();
};

// The application's clipboard object.
TClipboard* Clipboard();

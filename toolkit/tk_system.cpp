#include "toolkit/tk_system.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>

namespace {

Qt::KeyboardModifiers heldModifiers() {
    if (!QGuiApplication::instance()) return Qt::NoModifier;
    return QGuiApplication::queryKeyboardModifiers();
}

Qt::KeyboardModifiers modsFromShift(TShiftState s) {
    Qt::KeyboardModifiers m = Qt::NoModifier;
    if (s.Contains(ssShift)) m |= Qt::ShiftModifier;
    if (s.Contains(ssCtrl)) m |= Qt::ControlModifier;
    if (s.Contains(ssAlt)) m |= Qt::AltModifier;
    return m;
}

// The character a key types without modifiers, so that a posted key reaches OnKeyPress as a typed one does.
QString keyText(WORD vk, Qt::KeyboardModifiers mods) {
    if (mods & (Qt::ControlModifier | Qt::AltModifier)) return QString();
    if (vk >= 'A' && vk <= 'Z') return QString(QChar((mods & Qt::ShiftModifier) ? vk : vk + 32));
    if (vk >= '0' && vk <= '9') return QString(QChar(vk));
    switch (vk) {
    case VK_RETURN: return QStringLiteral("\r");
    case VK_BACK: return QStringLiteral("\b");
    case VK_ESCAPE: return QStringLiteral("\x1b");
    case VK_SPACE: return QStringLiteral(" ");
    case VK_TAB: return QStringLiteral("\t");
    default: return QString();
    }
}

}  // namespace

bool IsKeyDown(WORD vk) {
    const Qt::KeyboardModifiers m = heldModifiers();
    switch (vk) {
    case VK_SHIFT: case VK_LSHIFT: case VK_RSHIFT: return (m & Qt::ShiftModifier) != 0;
    case VK_CONTROL: case VK_LCONTROL: case VK_RCONTROL: return (m & Qt::ControlModifier) != 0;
    case VK_MENU: case VK_LMENU: case VK_RMENU: return (m & Qt::AltModifier) != 0;
    default: return false;
    }
}

bool CtrlDown() { return IsKeyDown(VK_CONTROL); }
bool AltDown() { return IsKeyDown(VK_MENU); }
bool ShiftDown() { return IsKeyDown(VK_SHIFT); }
TShiftState KeyboardState() { return shiftFromQt(heldModifiers()); }

TPoint GetCursorPos() { return TPoint::fromQPoint(QCursor::pos()); }

std::uint64_t GetTickCount64() {
    using namespace std::chrono;
    return std::uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint32_t GetTickCount() { return std::uint32_t(GetTickCount64()); }

int QtKeyFromVk(WORD vk) {
    if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + (vk - 'A');
    if (vk >= '0' && vk <= '9') return Qt::Key_0 + (vk - '0');
    if (vk >= VK_F1 && vk <= VK_F12) return Qt::Key_F1 + (vk - VK_F1);
    switch (vk) {
    case VK_BACK: return Qt::Key_Backspace;
    case VK_TAB: return Qt::Key_Tab;
    case VK_CLEAR: return Qt::Key_Clear;
    case VK_RETURN: return Qt::Key_Return;
    case VK_SHIFT: case VK_LSHIFT: case VK_RSHIFT: return Qt::Key_Shift;
    case VK_CONTROL: case VK_LCONTROL: case VK_RCONTROL: return Qt::Key_Control;
    case VK_MENU: case VK_LMENU: case VK_RMENU: return Qt::Key_Alt;
    case VK_PAUSE: return Qt::Key_Pause;
    case VK_CAPITAL: return Qt::Key_CapsLock;
    case VK_ESCAPE: return Qt::Key_Escape;
    case VK_SPACE: return Qt::Key_Space;
    case VK_PRIOR: return Qt::Key_PageUp;
    case VK_NEXT: return Qt::Key_PageDown;
    case VK_END: return Qt::Key_End;
    case VK_HOME: return Qt::Key_Home;
    case VK_LEFT: return Qt::Key_Left;
    case VK_UP: return Qt::Key_Up;
    case VK_RIGHT: return Qt::Key_Right;
    case VK_DOWN: return Qt::Key_Down;
    case VK_SNAPSHOT: case VK_PRINT: return Qt::Key_Print;
    case VK_INSERT: return Qt::Key_Insert;
    case VK_DELETE: return Qt::Key_Delete;
    case VK_HELP: return Qt::Key_Help;
    case VK_APPS: return Qt::Key_Menu;
    case VK_MULTIPLY: return Qt::Key_Asterisk;
    case VK_ADD: return Qt::Key_Plus;
    case VK_SUBTRACT: return Qt::Key_Minus;
    case VK_DIVIDE: return Qt::Key_Slash;
    case VK_NUMLOCK: return Qt::Key_NumLock;
    case VK_SCROLL: return Qt::Key_ScrollLock;
    default: return 0;
    }
}

bool PostKeyDown(QWidget* target, WORD vk, TShiftState shift) {
    const int key = QtKeyFromVk(vk);
    if (!target || key == 0) return false;
    const Qt::KeyboardModifiers mods = modsFromShift(shift);
    const QString text = keyText(vk, mods);
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, mods, text));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, mods, text));
    return true;
}

bool SendKeyDown(QWidget* target, WORD vk, TShiftState shift) {
    const int key = QtKeyFromVk(vk);
    if (!target || key == 0) return false;
    const Qt::KeyboardModifiers mods = modsFromShift(shift);
    const QString text = keyText(vk, mods);
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(target, &press);
    const bool accepted = press.isAccepted();
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QCoreApplication::sendEvent(target, &release);
    return accepted;
}

std::intptr_t SaveKeyboardLayout() { return 0; }

void RestoreKeyboardLayout(std::intptr_t) {}

bool ApplicationActive() {
    if (!QGuiApplication::instance()) return false;
    return QGuiApplication::applicationState() == Qt::ApplicationActive || QApplication::activeWindow() != nullptr;
}

QWidget* ActiveForm() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    return QApplication::activeWindow();
}

namespace {

// What had the keyboard when a modal window opened.
struct FocusBefore {
    QPointer<QWidget> dialog;  // null once deleted: the entry is stale
    QPointer<QWidget> window;
    QPointer<QWidget> focus;
};

class FocusReturn : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::Show && e->type() != QEvent::Hide) return false;
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || !w->isWindow()) return false;
        if (e->type() == QEvent::Show) {
            QWidget* active = QApplication::activeWindow();
            if (w->isModal() && active && active != w) before_[w] = {w, active, QApplication::focusWidget()};
            return false;
        }
        const auto it = before_.find(w);
        if (it == before_.end()) return false;
        const FocusBefore b = it.value();
        before_.erase(it);
        if (b.dialog != w) return false;
        QPointer<QWidget> closed = w;
        // After the platform's own reaction to the closing window (which may leave no window active).
        QTimer::singleShot(0, this, [b, closed] {
            if (!b.window || !b.window->isVisible()) return;
            QWidget* now = QApplication::activeWindow();
            if (now && now != b.window && now != closed) return;  // the user went elsewhere meanwhile
            if (now != b.window) b.window->activateWindow();
            if (b.focus && b.focus->isVisible() && b.focus->isEnabled() && b.focus->window() == b.window)
                b.focus->setFocus(Qt::ActiveWindowFocusReason);
        });
        return false;
    }

private:
    QHash<QWidget*, FocusBefore> before_;  // by the modal window shown
};

}  // namespace

bool ReturnFocusAfterDialogs() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) return false;
    const QString name = QStringLiteral("tk_focus_return");
    if (app->findChild<QObject*>(name, Qt::FindDirectChildrenOnly)) return true;
    auto* filter = new FocusReturn(app);
    filter->setObjectName(name);
    app->installEventFilter(filter);
    return true;
}

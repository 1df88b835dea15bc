// The package side of the controls: what constructing a control starts (through the start-up hook), the
// shared menu-font hook and the font names. Unit counts and the palette are checked in tests/frame and
// through the Designer plugin.
#include <QFontDatabase>
#include <QFontInfo>
#include <QWidget>
#include <cstring>
#include <string>

#include "controls/common/zem_common.h"
#include "controls/inputs/Mstatusbar.h"
#include "controls_test_app.h"
#include "core/data/para.h"
#include "core/text/code_page.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "frame/startup/zem_names.h"
#include "frame/startup/zem_pack.h"
#include "toolkit/tk_menu.h"

namespace {

std::string Gbk(const QString& s) {
  const std::u16string w = s.toStdU16String();
  std::string out(w.size() * 2 + 1, '\0');
  const int n = Zem_W_To_MB(ZEM_CP_GBK, w.data(), static_cast<int>(w.size()), &out[0], static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

// A control as the other units build theirs: the start-up in the toolkit base's argument.
class Probe_Control : public QWidget {
 public:
  explicit Probe_Control(QWidget* parent = nullptr) : QWidget(Zem_Startup_Parent(parent)) {}
};

// ---- what constructing a control starts

// Each in a process of its own: an MStatusBar brings up nothing; any other control (here one built as
// the units build theirs) brings up what Init_Tfa does, once.
TEST(ControlStartup, OnlyControlsOtherThanMStatusBarBringUpTheFramework) {
  ZEM_IN_CHILD({
    controlsTestApp();
    MStatusBar bar;
    bar.Panels()->Add()->SetText(QStringLiteral("x")), bar.Set_Own_Draw(), bar.grab();
    if (Zem_Startup_Created_Count() != 0) return 2;
    for (const char* name : kZem_Startup_Names)
      if (Get_Pub_Ptr(name)) return 3;
    return 0;
  });
  ZEM_IN_CHILD({
    controlsTestApp();
    Probe_Control control;
    const int created = Zem_Startup_Created_Count();
    if (created != kZem_Startup_Name_Count) return 2;
    for (const char* name : kZem_Startup_Names)
      if (!Zem_Startup_Created(name)) return 3;
    if (Init_Tfa() != 1) return 4;
    Probe_Control another;
    return Zem_Startup_Created_Count() == created ? 0 : 5;
  });
}

// ---- Apply_Menu_Font

int g_font_calls = 0;
TPopupMenu* g_font_menu = nullptr;
int Menu_Font_Double(TPopupMenu* menu) { return g_font_calls++, g_font_menu = menu, 0; }  // the result is ignored
int Other_Menu_Font_Double(TPopupMenu*) { return g_font_calls += 100, 1; }

TEST(ApplyMenuFont, HostFunctionFoundCachedAndCalled) {
  ZEM_IN_CHILD({
    controlsTestApp();
    TPopupMenu menu;
    // Missing: nothing happens, 1 all the same, looked up again next time.
    if (Apply_Menu_Font(&menu) != 1 || g_font_calls != 0) return 2;
    Gui_Init_Menu_Font_Fn fn = Menu_Font_Double;
    Reg_Pub_Ptr(kGui_Init_Menu_Font, reinterpret_cast<void*>(fn));
    if (Apply_Menu_Font(&menu) != 1 || g_font_calls != 1 || g_font_menu != &menu) return 3;
    // Found once, the address is kept: a later registration does not replace it.
    Gui_Init_Menu_Font_Fn other = Other_Menu_Font_Double;
    Reg_Pub_Ptr(kGui_Init_Menu_Font, reinterpret_cast<void*>(other));
    if (Apply_Menu_Font(nullptr) != 1 || g_font_calls != 2 || g_font_menu != nullptr) return 4;
    return 0;
  });
}

// ---- font names

TEST(FontNames, TheFaceThatReadsBackUnchangedWins) {
  controlsTestApp();
  const QString installed = QStringLiteral("WenQuanYi Micro Hei");
  ASSERT_TRUE(QFontDatabase::families().contains(installed)) << "fonts-wqy-microhei is needed";
  // expected empty: an installed face other than the last one asked
  struct Case { const char* name; std::vector<const char16_t*> faces; QString expected; };
  const Case cases[] = {
      {"installed face alone", {u"WenQuanYi Micro Hei"}, installed},
      {"first missing, second installed", {u"No Such Face 7f3a", u"WenQuanYi Micro Hei", u"宋体"}, installed},
      {"installed first wins over later", {u"WenQuanYi Micro Hei", u"No Such Face 7f3a"}, installed},
      {"case of the name does not matter", {u"wenquanyi micro hei"}, QStringLiteral("wenquanyi micro hei")},
      {"none installed: the last one as it resolves", {u"No Such Face 7f3a", u"No Such Face 9b1c"}, QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString got = QString::fromStdU16String(Zem_Pick_Font_Face(c.faces.data(), int(c.faces.size())));
    if (!c.expected.isEmpty()) {
      EXPECT_EQ(got, c.expected);
    } else {
      EXPECT_FALSE(got.isEmpty());
      EXPECT_NE(got, QStringLiteral("No Such Face 9b1c"));
      EXPECT_TRUE(QFontDatabase::families().contains(got)) << got.toStdString();
    }
  }
}

TEST(FontNames, WithoutParametersTheResolvedFaceInGbk) {
  ZEM_IN_CHILD({
    controlsTestApp();
    QFont song;
    song.setFamily(QString::fromUtf16(u"宋体"));
    const std::string expected = Gbk(QFontInfo(song).family());
    if (expected.empty()) return 2;
    // The list font: neither 微软雅黑 face is installed here, so 宋体 as it resolves.
    const char* list = List_Font_Name();
    if (expected != list) return 3;
    return List_Font_Name() != list ? 4 : expected != Input_Font_Name() ? 5 : 0;  // one static buffer
  });
}

TEST(FontNames, ParametersOverrideAndAreReadOnce) {
  ZEM_IN_CHILD({
    controlsTestApp();
    const std::string song = Gbk(QString::fromUtf16(u"宋体"));
    Pub_Para_Put_Str(u"font.list", song.c_str()), Pub_Para_Put_Str(u"font.input", "Courier 10 Pitch");
    if (song != List_Font_Name()) return 2;  // a GBK face name, as given
    if (std::string("Courier 10 Pitch") != Input_Font_Name()) return 3;
    // Worked out once: a later change of the parameter is not seen.
    Pub_Para_Put_Str(u"font.list", "Other");
    return song != List_Font_Name() ? 4 : 0;
  });
}

}  // namespace

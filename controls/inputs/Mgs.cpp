// The Mgs unit: TMGS and its unit hooks.
#include "controls/inputs/Mgs.h"
#include "controls/common/zem_common.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "core/data/sqlca.h"
#include "core/text/code_page.h"
#include "core/text/map_str.h"
#include "toolkit/tk_msgbox.h"
#include "toolkit/tk_system.h"
#include "util/lang_map.h"

namespace {

constexpr int kButton_Height = 18;
constexpr int kList_Top = 20;

std::string Narrow(const QString& s) {
  const std::u16string w = s.toStdU16String();
  const int n = Zem_W_To_MB(ZEM_CP_SYSTEM, w.data(), static_cast<int>(w.size()), nullptr, 0);
  std::string out(static_cast<size_t>(n), '\0');
  Zem_W_To_MB(ZEM_CP_SYSTEM, w.data(), static_cast<int>(w.size()), &out[0], n);
  return out;
}

QString Wide(const char* s) {
  const int n = static_cast<int>(std::strlen(s));
  std::u16string w(static_cast<size_t>(n) + 1, u'\0');
  w.resize(static_cast<size_t>(Zem_MB_To_W(ZEM_CP_SYSTEM, s, n, &w[0], n + 1)));
  return QString::fromStdU16String(w);
}

// The first blank-delimited word of narrow text (what "%s" reads).
std::string First_Word(const std::string& s) {
  size_t b = 0;
  while (b < s.size() && std::isspace(static_cast<unsigned char>(s[b]))) b++;
  size_t e = b;
  while (e < s.size() && !std::isspace(static_cast<unsigned char>(s[e]))) e++;
  return s.substr(b, e - b);
}

QString Cap(const char16_t* caption) { return QString::fromUtf16(Lang_Cap(u"mgs", caption)); }

// The buttons' glyphs, 16 x 16, drawn here: a magnifier (QUERY), a plus (ADD), a pencil (EDIT) and a
// circling arrow (REFRESH).
QImage Glyph(const char* resource) {
  QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor blue(0x2F, 0x5F, 0xA8), green(0x2E, 0x8B, 0x3A), brown(0x9A, 0x6A, 0x2A);
  if (std::strcmp(resource, "QUERY") == 0) {
    p.setPen(QPen(blue, 2));
    p.drawEllipse(QRectF(2, 2, 8, 8));
    p.setPen(QPen(blue, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14, 14));
  } else if (std::strcmp(resource, "ADD") == 0) {
    p.setPen(QPen(green, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 3), QPointF(8, 13));
    p.drawLine(QPointF(3, 8), QPointF(13, 8));
  } else if (std::strcmp(resource, "EDIT") == 0) {
    p.setPen(QPen(brown, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 12), QPointF(12, 4));
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(QPointF(2, 14), QPointF(5, 14));
  } else {
    p.setPen(QPen(blue, 2));
    p.drawArc(QRectF(3, 3, 10, 10), 30 * 16, 280 * 16);
    QPainterPath head;
    head.moveTo(13, 2);
    head.lineTo(14, 8);
    head.lineTo(9, 6);
    head.closeSubpath();
    p.fillPath(head, blue);
  }
  return img;
}

}  // namespace

TMGS::TMGS(QWidget* parent) : TPanel(Zem_Startup_Parent(parent)) {
  SetBounds(Left(), Top(), 150, 100);
  Font()->Name = QStringLiteral("Arial");
  Font()->Size = 9;
  FontChanged();
  SetColor(clBtnFace);

  edit_ = new TEdit(this);
  edit_->SetName(QString::asprintf("mgs_code_%p", static_cast<void*>(this)));
  edit_->setFrame(true);
  edit_->SetHeight(21);  // the list starts at y = 20, under the edit's lower border
  edit_->OnChange = [this](TObject* s) { Edit_CodeChange(s); };
  edit_->OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { Edit_CodeKeyDown(s, k, sh); };

  list_ = new TListBox(this);
  list_->SetBorderStyle(bsNone);
  list_->Font()->Name = Wide(List_Font_Name());
  list_->Font()->Size = 11;
  list_->FontChanged();
  list_->OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { Edit_CodeKeyDown(s, k, sh); };
  list_->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    ListBox_OnMouseDown(s, b, sh, x, y);
  };

  struct Button_Def {
    TSpeedButton** button;
    const char16_t* caption;
    const char* glyph;
    TNotifyEvent TMGS::*event;
  };
  const Button_Def buttons[] = {{&search_, u"查找", "QUERY", &TMGS::OnFunc_Search},
                               {&add_, u"增加", "ADD", &TMGS::OnFunc_Add},
                               {&editBtn_, u"编辑", "EDIT", &TMGS::OnFunc_Edit},
                               {&refresh_, u"刷新", "REFRESH", &TMGS::OnFunc_Refresh}};
  for (const Button_Def& s : buttons) {
    auto* b = new TSpeedButton(this);
    b->SetFlat(true);
    b->SetHeight(kButton_Height);
    b->SetCaption(QString::fromUtf16(s.caption));
    b->SetGlyph(Glyph(s.glyph));
    b->setIconSize(QSize(12, 12));
    // The event is read at click time, so an owner may assign it before or after loading.
    const auto event = s.event;
    b->OnClick = [this, event](TObject*) { Fire(this->*event); };
    *s.button = b;
  }
  OnResize = [this](TObject* s) { OnMGSResize(s); };
  OnEnter = [this](TObject* s) { MGS_Enter(s); };
  OnExit = [this](TObject* s) { MGS_Exit(s); };
  Fitsize();
}

TMGS::~TMGS() {
  edit_->OnChange = nullptr;
  OnResize = nullptr;
  OnExit = nullptr;
}

TSpeedButton* TMGS::Button(TMGSOption o) const {
  switch (o) {
    case goSearch: return search_;
    case goAdd: return add_;
    case goEdit: return editBtn_;
    case goRefresh: return refresh_;
  }
  return nullptr;
}

void TMGS::Fitsize() {
  const int w = Width(), h = Height();
  edit_->SetBounds(0, 0, editWidth_, edit_->Height());
  const TMGSOption order[] = {goSearch, goAdd, goEdit, goRefresh};
  int count = 0;
  for (TMGSOption o : order) count += options_.testFlag(o) ? 1 : 0;
  list_->SetBounds(0, kList_Top, w, h - 38 + (count == 0 ? kButton_Height : 0));
  int x = 0;
  for (TMGSOption o : order) {
    TSpeedButton* b = Button(o);
    if (!options_.testFlag(o)) {
      b->Hide();
      continue;
    }
    b->SetBounds(x, h - kButton_Height, w / count, kButton_Height);
    b->Show();
    x += w / count;
  }
  if (loaded_) {
    const int eh = edit_->Height();
    SetClipPolygon({{0, 0}, {editWidth_, 0}, {editWidth_, eh - 1}, {w, eh - 1}, {w, h}, {0, h}});
  }
}

void TMGS::Loaded() {
  TPanel::Loaded();
  OnResize = [this](TObject* s) { OnMGSResize(s); };
  loaded_ = true;
  Fitsize();
}

void TMGS::Set_EditWidth(int w) {
  editWidth_ = w;
  Fitsize();
  updateGeometry();
}

void TMGS::SetOptions(TMGSOptions o) {
  options_ = o;
  Fitsize();
}

void TMGS::Fill_List(TSQLCA* data, int columns) {
  list_->Clear();
  if (!data) return;
  const int n = std::min(columns, data->Get_Field_Count());
  const int rows = data->Get_Row_Count();
  QStringList lines;
  lines.reserve(rows);
  for (int r = 0; r < rows; r++) {
    QString line;
    for (int f = 0; f < n; f++) line += QString::fromUtf16(data->Get_Row_Value(r, f)) + QStringLiteral("  ");
    lines << line;
  }
  list_->addItems(lines);
}

std::string TMGS::Code_Of(const QString& line) { return First_Word(Narrow(line)); }

std::string TMGS::Typed_Code() const { return First_Word(Narrow(edit_->Text())); }

void TMGS::Set_Code(const char* code) {
  if (!code) return;
  edit_->SetText(Wide(code));
  Edit_CodeChange(edit_);
}

void TMGS::Edit_CodeChange(TObject*) {
  const int n = list_->Count();
  if (n == 0) return;
  const std::string typed = Typed_Code();
  for (int i = 0; i < n; i++)
    if (Code_Of(list_->Items()->Strings(i)) >= typed) {
      list_->SetItemIndex(i);
      return;
    }
}

void TMGS::Accept_Selected() {
  const int i = list_->ItemIndex();
  if (i < 0) return;
  edit_->SetText(Wide(Code_Of(list_->Items()->Strings(i)).c_str()));
  Check_Return();
}

void TMGS::Edit_CodeKeyDown(TObject* sender, WORD& key, TShiftState) {
  switch (key) {
    case VK_RETURN:
      Accept_Selected();
      Hide();
      key = 0;
      break;
    case VK_ESCAPE:
      Hide();
      key = 0;
      break;
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
      if (sender == edit_) {
        PostKeyDown(list_, key);
        key = 0;
      }
      break;
    default: break;
  }
}

void TMGS::ListBox_OnMouseDown(TObject*, TMouseButton, TShiftState, int, int) {
  if (list_->ItemIndex() < 0) {
    Hide();
    return;
  }
  Accept_Selected();
}

int TMGS::Check_Return() {
  const std::string code = Typed_Code();
  for (int i = 0; i < list_->Count(); i++) {
    if (Code_Of(list_->Items()->Strings(i)) != code) continue;
    Hide();
    if (OnFunc_Result) OnFunc_Result(this, code.c_str());
    return 1;
  }
  TMsgBoxButtons buttons;
  buttons.yes = Cap(u"是");
  buttons.no = Cap(u"否");
  buttons.cancel = Cap(u"取消");
  const QString text = Cap(u"选择了无效的代码，需要新增加吗");
  const QString caption = Cap(u"系统提示");
  switch (MessageBox(window(), text, caption, MB_YESNOCANCEL | MB_ICONQUESTION, buttons)) {
    case IDYES:
      Fire(OnFunc_Add);
      Hide();
      break;
    case IDNO: Hide(); break;
    default: break;  // Cancel: the control stays open for another try
  }
  return 0;
}

void TMGS::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    Hide();
    e->accept();
    return;
  }
  TPanel::keyPressEvent(e);
}

void TMGS::OnMGSResize(TObject*) { Fitsize(); }

void TMGS::MGS_Enter(TObject*) { edit_->SetFocus(); }

void TMGS::MGS_Exit(TObject*) { Hide(); }

namespace {

void* Create_TMGS(void* parent) { return new TMGS(static_cast<QWidget*>(parent)); }

}  // namespace

void Mgs_Register() { RegisterComponents(kZem_Palette_Page, "TMGS", Create_TMGS); }

// The unit has no static objects to destroy; its initialization only counts (the unit table does).
static Zem_Unit_Registrar g_mgs_unit("Mgs", nullptr, nullptr, Mgs_Register);

void TMGS::Set_Code(const QString& code) { Set_Code(map_char(code).c_str()); }

QString TMGS::typedCode() const { return QString::fromUtf16(map_wchar(Typed_Code().c_str()).c_str()); }

QSize TMGS::sizeHint() const { return QSize(std::max(150, editWidth_), 100); }

QSize TMGS::minimumSizeHint() const { return QSize(std::max(40, editWidth_), 60); }

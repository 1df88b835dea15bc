// The form designer's plugin, generated from the package's palette.
#include "designer/zem_designer_plugin.h"

#include <dlfcn.h>

#include <QFileInfo>
#include <QIcon>
#include <QSize>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "controls/combo/Combobox_ext.h"
#include "controls/inputs/Mstatusbar.h"
#include "controls/tree/Mtreeview.h"
#include "controls/tree/Treeview_ext.h"
#include "frame/zem_units.h"

namespace {

// What the designer shows for each class of the package: its unit's header, tooltip and "what's this".
struct Class_Info {
  const char* class_name;
  const char* header;
  const char* tool_tip;
  const char* whats_this;
};

const Class_Info kClasses[] = {
    {"MTreeView", "controls/tree/Mtreeview.h", "Code tree view: a hierarchy of codes with search, menus and copy",
     "MTreeView shows codes as a tree: each level of a code is a node under its parent. It searches node "
     "texts, offers a context menu (expand, collapse, search, show codes, print, export) and copies the "
     "tree to the clipboard as text indented by level. Set A_Caption_With_Code to show each node's code "
     "before its caption, and A_ID to an identifier for the host."},
    {"MStatusBar", "controls/inputs/Mstatusbar.h", "Status bar whose panels draw their own text",
     "MStatusBar is a light grey status bar whose panels write their text in blue, vertically centred, "
     "after their alignment. Set PanelTexts and PanelWidths (an empty width keeps its panel's), and "
     "OwnDraw. It docks along the bottom of its parent at run time unless AlignBottom is off; in the "
     "designer it stays where it is put."},
    {"TMGS", "controls/inputs/Mgs.h", "Search edit with a drop list of matching items",
     "TMGS is an edit box whose drop list shows the items that match what is typed; choosing one fills "
     "the box."},
    {"TTreeView_Ext", "controls/tree/Treeview_ext.h", "Dictionary tree view: the codes of a code dictionary",
     "TTreeView_Ext shows the codes and names of a query result as a tree, each code under the nearest "
     "earlier code it contains, and draws the selected item on blue."},
    {"TMG", "controls/grid/Mg.h", "Data grid: typed columns, money and check-box cells, sums, sort, filter",
     "TMG is a data grid whose columns are defined by ADEF lines (caption, $name, type and style items) "
     "and whose header units come from BDEF lines. It shows money columns as digit grids and check-box "
     "columns as ticks, colours rows, columns and cells, binds columns to code dictionaries, sorts, "
     "searches, filters and offers a rich context menu."},
    {"TMDate", "controls/inputs/Mdate.h", "Date or month box",
     "TMDate is a box for a date or a month, typed or chosen from a calendar."},
    {"TComboBox_Ext", "controls/combo/Combobox_ext.h", "Combo box over a code dictionary or a query",
     "TComboBox_Ext lists the codes and names of a code dictionary or of a query result. A typed code is "
     "resolved to its item; one or several items can be chosen."},
    {"MPickDate", "controls/inputs/Mpickdate.h", "Date picker with a calendar drop-down",
     "MPickDate is a date picker: the date is typed or picked from its calendar drop-down."},
};

// The size a control dropped on a form starts with: the size the control gives itself where it fixes
// one, so that the designer shows it as it runs (a one-line date box is no 200 x 100 block).
QSize Default_Size(const char* class_name) {
  const struct {
    const char* class_name;
    QSize size;
  } sizes[] = {{"MStatusBar", {200, 19}}, {"TMGS", {150, 100}}, {"TMDate", {132, 21}}, {"MPickDate", {186, 21}},
               {"TComboBox_Ext", {200, 22}}};
  for (const auto& s : sizes)
    if (std::strcmp(s.class_name, class_name) == 0) return s.size;
  return QSize(200, 100);
}

// The properties whose texts are data, not words for a translator: the default XML makes them not
// translatable (uic then sets them once in setupUi instead of again at every language change in
// retranslateUi). String lists start empty and not translatable; single texts are declared not
// translatable for Designer's property editor.
struct Data_Property {
  const char* class_name;
  const char* property;
  bool list;
};
const Data_Property kData_Properties[] = {
    {"TMG", "ADEF", true},           {"TMG", "BDEF", true},
    {"TComboBox_Ext", "Dict_Id", false}, {"MStatusBar", "PanelTexts", true},
    {"MStatusBar", "PanelWidths", false}, {"TMDate", "Value", false},
};

const Class_Info* Info_For(const char* class_name) {
  if (!class_name) return nullptr;
  for (const Class_Info& c : kClasses)
    if (std::strcmp(c.class_name, class_name) == 0) return &c;
  return nullptr;
}

QString Folder_Of(const void* address) {
  Dl_info info;
  if (!dladdr(address, &info) || !info.dli_fname) return QString();
  return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
}

// Set as soon as the plugin is loaded, before the designer makes any control (the first control brings
// the framework up, which binds to the registry library).
const struct Set_Dll_Path {
  Set_Dll_Path() {
    if (!std::getenv("TARVOK_DLL_PATH")) setenv("TARVOK_DLL_PATH", Zem_Designer_Dll_Dir().toLocal8Bit().constData(), 0);
  }
} g_set_dll_path;

bool g_units_up = false;  // this plugin ran the units' initialization

// When the designer deletes no instance, the units are finalized as the plugin's image goes.
const struct Finalize_At_Unload {
  ~Finalize_At_Unload() {
    if (g_units_up) {
      g_units_up = false;
      Finalize();
    }
  }
} g_finalize_at_unload;

}  // namespace

QString Zem_Designer_Dll_Dir() {
  const QString package = Folder_Of(reinterpret_cast<const void*>(&Initialize));
  if (!package.isEmpty() && QFileInfo::exists(package + QStringLiteral("/kdm_pub_ptr.so"))) return package;
  const QString own = Folder_Of(reinterpret_cast<const void*>(&Zem_Designer_Dll_Dir));
  return own.isEmpty() ? package : own;
}

QString Zem_Designer_Include_For(const char* class_name) {
  if (const Class_Info* c = Info_For(class_name)) return QString::fromLatin1(c->header);
  return class_name ? QString::fromLatin1(class_name).toLower() + QStringLiteral(".h") : QString();
}

ZemWidgetPlugin::ZemWidgetPlugin(const Zem_Palette_Entry* entry, QObject* parent)
    : QObject(parent), entry_(entry) {}

QString ZemWidgetPlugin::name() const { return QString::fromLatin1(entry_->class_name); }

QString ZemWidgetPlugin::group() const { return QString::fromUtf16(entry_->page); }

QString ZemWidgetPlugin::toolTip() const {
  const Class_Info* c = Info_For(entry_->class_name);
  return c ? QString::fromLatin1(c->tool_tip) : name();
}

QString ZemWidgetPlugin::whatsThis() const {
  const Class_Info* c = Info_For(entry_->class_name);
  return c ? QString::fromLatin1(c->whats_this) : name();
}

QString ZemWidgetPlugin::includeFile() const { return Zem_Designer_Include_For(entry_->class_name); }

QIcon ZemWidgetPlugin::icon() const {
  // The @2x picture next to each is found by QIcon itself.
  return QIcon(QStringLiteral(":/zem_pack/designer/icons/%1.png").arg(name()));
}

void ZemWidgetPlugin::initialize(QDesignerFormEditorInterface* core) {
  initialized_ = true;
  designing_ = core != nullptr;
}

QWidget* ZemWidgetPlugin::createWidget(QWidget* parent) {
  QWidget* w = entry_->create ? static_cast<QWidget*>(entry_->create(parent)) : nullptr;
  if (designing_) {
    if (auto* bar = qobject_cast<MStatusBar*>(w)) bar->Set_Designing(true);
    if (auto* combo = qobject_cast<TComboBox_Ext*>(w)) combo->Set_Designing(true);
    // A tree without nodes is a blank box on the form: each shows a sample branch, never saved (nodes
    // are no property) and never there at run time.
    if (auto* tree = qobject_cast<MTreeView*>(w)) {
      TTreeNode* root = tree->TN_Add(nullptr, 0, "01", u"MTreeView");
      tree->TN_Add(root, 0, "0101", u"代码树节点");
      root->SetExpanded(true);
    }
    if (auto* tree = qobject_cast<TTreeView_Ext*>(w)) {
      TTreeNode* root = tree->AddItem(nullptr, "01", u"TTreeView_Ext");
      tree->AddItem(root, "0101", u"字典树节点");
      root->SetExpanded(true);
    }
  }
  return w;
}

QString ZemWidgetPlugin::domXml() const {
  // The object name a new control gets: the class name with a lower-case first letter.
  QString object = name();
  if (!object.isEmpty()) object[0] = object[0].toLower();
  QString defaults, hints;  // property values; Designer's hints on the single texts
  for (const Data_Property& d : kData_Properties) {
    if (std::strcmp(d.class_name, entry_->class_name) != 0) continue;
    const QString property = QString::fromLatin1(d.property);
    if (d.list)
      defaults += QStringLiteral("  <property name=\"%1\">\n   <stringlist notr=\"true\"/>\n  </property>\n").arg(property);
    else
      hints += QStringLiteral("    <stringpropertyspecification name=\"%1\" notr=\"true\" type=\"singleline\"/>\n").arg(property);
  }
  if (!hints.isEmpty())
    hints = QStringLiteral(" <customwidgets>\n  <customwidget>\n   <class>%1</class>\n   <propertyspecifications>\n%2"
                           "   </propertyspecifications>\n  </customwidget>\n </customwidgets>\n")
                .arg(name(), hints);
  return QStringLiteral("<ui language=\"c++\">\n"
                        " <widget class=\"%1\" name=\"%2\">\n"
                        "  <property name=\"geometry\">\n"
                        "   <rect><x>0</x><y>0</y><width>%3</width><height>%4</height></rect>\n"
                        "  </property>\n"
                        "%5"
                        " </widget>\n"
                        "%6"
                        "</ui>\n")
      .arg(name(), object, QString::number(Default_Size(entry_->class_name).width()),
           QString::number(Default_Size(entry_->class_name).height()), defaults, hints);
}

ZemDesignerCollection::ZemDesignerCollection(QObject* parent) : QObject(parent) {
  // What a form designer does after loading the package: the units, then their Register().
  if (!g_units_up) {
    g_units_up = true;
    Initialize();
    Zem_Register_Units();
  }
  for (int i = 0; i < Zem_Palette_Count(); i++) {
    const Zem_Palette_Entry* e = Zem_Palette_Get(i);
    if (e && e->create && std::u16string_view(e->page) == kZem_Palette_Page) widgets_ << new ZemWidgetPlugin(e, this);
  }
  // The widget box lists a page's widgets in the order given: by name, as a user looks for them.
  std::sort(widgets_.begin(), widgets_.end(), [](QDesignerCustomWidgetInterface* a, QDesignerCustomWidgetInterface* b) {
    return a->name().compare(b->name(), Qt::CaseInsensitive) < 0;
  });
}

ZemDesignerCollection::~ZemDesignerCollection() {
  if (g_units_up) {
    g_units_up = false;
    Finalize();
  }
}

// The form designer's plugin, generated from the package's palette.
#include "designer/zem_designer_plugin.h"

#include <QIcon>
#include <QWidget>
#include <cstring>

#include "frame/zem_units.h"

namespace {

// Where each control's class is declared (its unit's header).
const struct {
  const char* class_name;
  const char* header;
} kHeaders[] = {
    {"MTreeView", "controls/tree/Mtreeview.h"},     {"MStatusBar", "controls/inputs/Mstatusbar.h"},
    {"TMGS", "controls/inputs/Mgs.h"},              {"TTreeView_Ext", "controls/tree/Treeview_ext.h"},
    {"TMG", "controls/grid/Mg.h"},                  {"TMDate", "controls/inputs/Mdate.h"},
    {"TComboBox_Ext", "controls/combo/Combobox_ext.h"}, {"MPickDate", "controls/inputs/Mpickdate.h"},
};

}  // namespace

QString Zem_Designer_Include_For(const char* class_name) {
  if (!class_name) return QString();
  for (const auto& h : kHeaders)
    if (std::strcmp(h.class_name, class_name) == 0) return QString::fromLatin1(h.header);
  return QString::fromLatin1(class_name).toLower() + QStringLiteral(".h");
}

ZemWidgetPlugin::ZemWidgetPlugin(const Zem_Palette_Entry* entry, QObject* parent)
    : QObject(parent), entry_(entry) {}

QString ZemWidgetPlugin::name() const { return QString::fromLatin1(entry_->class_name); }

QString ZemWidgetPlugin::group() const { return QString::fromUtf16(entry_->page); }

QString ZemWidgetPlugin::toolTip() const { return name(); }

QString ZemWidgetPlugin::whatsThis() const { return name() + QStringLiteral(" (zem_pack)"); }

QString ZemWidgetPlugin::includeFile() const { return Zem_Designer_Include_For(entry_->class_name); }

QIcon ZemWidgetPlugin::icon() const { return QIcon(); }

QWidget* ZemWidgetPlugin::createWidget(QWidget* parent) {
  return entry_->create ? static_cast<QWidget*>(entry_->create(parent)) : nullptr;
}

QString ZemWidgetPlugin::domXml() const {
  // The object name a new control gets: the class name with a lower-case first letter.
  QString object = name();
  if (!object.isEmpty()) object[0] = object[0].toLower();
  return QStringLiteral("<ui language=\"c++\">\n"
                        " <widget class=\"%1\" name=\"%2\">\n"
                        "  <property name=\"geometry\">\n"
                        "   <rect><x>0</x><y>0</y><width>200</width><height>%3</height></rect>\n"
                        "  </property>\n"
                        " </widget>\n"
                        "</ui>\n")
      .arg(name(), object, QString::number(std::strcmp(entry_->class_name, "MStatusBar") == 0 ? 19 : 100));
}

ZemDesignerCollection::ZemDesignerCollection(QObject* parent) : QObject(parent) {
  // What a form designer does after loading the package: the units, then their Register().
  static bool units_up = false;
  if (!units_up) {
    units_up = true;
    Initialize();
    Zem_Register_Units();
  }
  for (int i = 0; i < Zem_Palette_Count(); i++) {
    const Zem_Palette_Entry* e = Zem_Palette_Get(i);
    if (e && e->create && std::u16string_view(e->page) == kZem_Palette_Page) widgets_ << new ZemWidgetPlugin(e, this);
  }
}

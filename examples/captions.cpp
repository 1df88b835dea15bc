// captions: the caption language map of docs/GUIDE.md. A translation file lang.txt in the current
// directory turns the controls' fixed Chinese captions into other words; the program writes one, looks
// captions up as the controls do (with their context words, hot keys and parenthesised parts), shows a
// grid menu item translated, and what the map logged about captions it could not translate.
//
// Usage: captions
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "controls/grid/Mg.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"
#include "toolkit/tk_menu.h"
#include "util/lang_map.h"

namespace {

// lang.txt: UTF-8 here would be read as GBK, so the file is written as UTF-16LE with its mark.
const char16_t kLangTxt[] =
    u"#log_not_define\r\n"
    u"# context.caption=translation; a caption alone serves every context\r\n"
    u"grid.合计=Total\r\n"
    u"合计=Sum\r\n"
    u"复制全部表格内容=Copy the whole table\r\n"
    u"保存=Save\r\n"
    u"打印=打印输出\r\n"
    u"导出到{1}文件=Export to file {1}\r\n"
    u"表格内查找Ctrl+F=Find Ctrl+F\r\n";

bool Write_Lang_Txt(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const char mark[] = {'\xFF', '\xFE'};
  file.write(mark, 2);
  file.write(reinterpret_cast<const char*>(kLangTxt), sizeof kLangTxt - sizeof kLangTxt[0]);
  return true;
}

void Show(const char16_t* context, const char16_t* caption) {
  std::printf("%s/%s -> %s\n", QString::fromUtf16(context).toUtf8().constData(),
              QString::fromUtf16(caption).toUtf8().constData(),
              QString::fromUtf16(Lang_Cap(map_wchar(context), caption)).toUtf8().constData());
}

}  // namespace

int main(int argc, char** argv) {
  setenv("TARVOK_DLL_PATH", ZEM_DLL_DIR, 0);
  QApplication app(argc, argv);
  // The map reads lang.txt of the current directory once, at the first caption it translates.
  QTemporaryDir dir;
  if (!dir.isValid() || !Write_Lang_Txt(dir.filePath(QStringLiteral("lang.txt"))) || !QDir::setCurrent(dir.path()))
    return 1;
  Initialize();
  Init_Tfa();

  Show(u"grid", u"合计");                   // the context form wins
  Show(u"menu", u"合计");                   // else the caption alone
  Show(u"grid", u" 复制全部表格内容");      // leading blanks are kept
  Show(u"menu", u"保存&S");                 // the hot key goes to the same letter
  Show(u"tree", u"打印&P");                 // or is appended when the translation lacks it
  Show(u"grid", u"导出到(Excel)文件");      // parenthesised parts fill the placeholders
  Show(u"grid", u"删除");                   // no translation: unchanged, and logged
  {
    TMG grid;
    grid.Init_Popup_Menu();
    std::printf("grid menu: %s | %s\n", grid.Base_Menu_Item("mg_copy_all")->Caption().toUtf8().constData(),
                grid.Base_Menu_Item("mg_search")->Caption().toUtf8().constData());
  }
  QFile log(QStringLiteral("lang_log.txt"));  // UTF-16LE, one line per untranslated caption
  if (log.open(QIODevice::ReadOnly)) {
    const QByteArray bytes = log.readAll().mid(2);
    std::printf("lang_log.txt:\n%s", QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                                                         bytes.size() / 2).toUtf8().constData());
  }
  Finalize();
  return 0;
}

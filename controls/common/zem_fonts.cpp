// The face names of drop lists and input fields.
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QString>
#include <cstring>
#include <string>

#include "controls/common/zem_common.h"
#include "core/data/para.h"
#include "core/text/code_page.h"

namespace {

const int kFace_Buffer = 128;  // bytes of each static face buffer, the NUL included

QString Face_Read_Back(const char16_t* face) {
  QFont font;
  font.setFamily(QString::fromUtf16(face));
  // QFontInfo needs the platform's font database; without a GUI application the name stays as given.
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return font.family();
  return QFontInfo(font).family();
}

// Fills buffer once: the face picked from faces, unless the public parameter param exists.
void Work_Out(char* buffer, const char16_t* const* faces, int count, const char16_t* param) {
  if (Pub_Para_Get_Str(param, buffer, kFace_Buffer)) return;
  const std::u16string face = Zem_Pick_Font_Face(faces, count);
  buffer[0] = '\0';
  const int n = Zem_W_To_MB(ZEM_CP_SYSTEM, face.c_str(), static_cast<int>(face.size()), buffer,
                            kFace_Buffer - 1);
  buffer[n > 0 ? n : 0] = '\0';
}

}  // namespace

std::u16string Zem_Pick_Font_Face(const char16_t* const* faces, int count) {
  for (int i = 0; i < count; i++) {
    const QString asked = QString::fromUtf16(faces[i]);
    if (Face_Read_Back(faces[i]).compare(asked, Qt::CaseInsensitive) == 0) return asked.toStdU16String();
  }
  return count > 0 ? Face_Read_Back(faces[count - 1]).toStdU16String() : std::u16string();
}

const char* List_Font_Name() {
  static char name[kFace_Buffer];
  static bool done = false;
  if (!done) {
    done = true;  // set first: a re-entry during the work sees the buffer as it is
    static const char16_t* const faces[] = {u"微软雅黑 Light", u"微软雅黑", u"宋体"};
    Work_Out(name, faces, 3, u"font.list");
  }
  return name;
}

const char* Input_Font_Name() {
  static char name[kFace_Buffer];
  static bool done = false;
  if (!done) {
    done = true;
    static const char16_t* const faces[] = {u"宋体"};
    Work_Out(name, faces, 1, u"font.input");
  }
  return name;
}

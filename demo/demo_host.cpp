// The demo's code choice over its dictionaries: "dept" from app_dict_def, the others from the SQL of
// app_dict_sql.
#include "demo/demo_host.h"

#include <QApplication>
#include <QInputDialog>
#include <QStringList>
#include <cstring>

#include "core/data/sqlca.h"
#include "demo/demo_db.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"

namespace {

DemoDb* g_db = nullptr;  // not owned

QString Q(const wchar16* s) { return s ? QString::fromUtf16(s) : QString(); }

QString Quote(const QString& s) {
  QString q = s;
  q.replace(QLatin1Char('\''), QStringLiteral("''"));
  return q;
}

// The dictionary's rows as (code, name) pairs.
QList<QPair<QString, QString>> Dict_Rows(const char* dict_id) {
  QList<QPair<QString, QString>> rows;
  if (!g_db || !dict_id) return rows;
  const QString id = Quote(QString::fromLatin1(dict_id));
  TSQLCA q;
  QString sql = QStringLiteral("select code,name from app_dict_def where dict_id='%1' order by order_id,code").arg(id);
  if (g_db->select(q, QStringLiteral("select sqlcmd from app_dict_sql where dict_id='%1'").arg(id)) == 0 &&
      q.Get_Row_Count() == 1)
    sql = QStringLiteral("select code,name from (%1) d order by code").arg(Q(q.Get_Row_Value(0, 0)));
  TSQLCA rowsq;
  if (g_db->select(rowsq, sql) != 0) return rows;
  for (int r = 0; r < rowsq.Get_Row_Count(); r++)
    rows.append({Q(rowsq.Get_Row_Value(r, 0)), Q(rowsq.Get_Row_Value(r, 1))});
  return rows;
}

int Copy_Code(const QString& code, char* code_buffer) {
  const QByteArray c = code.toLatin1().left(99);  // the sample codes are ASCII
  std::memcpy(code_buffer, c.constData(), static_cast<size_t>(c.size()) + 1);
  return 1;
}

int Demo_Code_Select(const char* dict_id, char* code_buffer) {
  if (!code_buffer) return 0;
  const auto rows = Dict_Rows(dict_id);
  if (rows.isEmpty()) return 0;
  QStringList items;
  int current = 0;
  for (int i = 0; i < rows.size(); i++) {
    items << rows[i].first + QLatin1Char(' ') + rows[i].second;
    if (rows[i].first == QString::fromLatin1(code_buffer)) current = i;
  }
  bool ok = false;
  const QString chosen = QInputDialog::getItem(QApplication::activeWindow(), QString::fromUtf16(u"选择"),
                                               QString::fromUtf16(u"编码"), items, current, false, &ok);
  if (!ok) return 0;
  return Copy_Code(rows[static_cast<int>(items.indexOf(chosen))].first, code_buffer);
}

int Demo_Code_Key_Search(const char* dict_id, const char16_t* text, char* code_buffer) {
  if (!text || !code_buffer) return 0;
  const QString key = QString::fromUtf16(text);
  for (const auto& row : Dict_Rows(dict_id))
    if (row.first == key || row.second == key) return Copy_Code(row.first, code_buffer);
  return 0;
}

}  // namespace

int Demo_Register_Host_Functions(DemoDb* db) {
  g_db = db;
  Pdu_Code_Select_Fn select = Demo_Code_Select;
  Pdu_Code_Key_Search_Fn search = Demo_Code_Key_Search;
  return Zem_Reg_Shared_Ptr(kPdu_Code_Select, reinterpret_cast<void*>(select)) +
         Zem_Reg_Shared_Ptr(kPdu_Code_Key_Search, reinterpret_cast<void*>(search));
}

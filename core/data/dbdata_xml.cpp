// DBDataMgr: the XML form, written for logging and export inside a parameter pack's document.
#include <cstdio>
#include <vector>

#include "core/data/dbdata.h"
#include "core/data/dbdata_util.h"
#include "frame/vector_state.h"

namespace {

// Appends wide text as narrow text of the system code page, escaped for XML.
void Put_Text(std::string* out, const wchar16* s, int n) {
  if (n <= 0) return;
  int m = Zem_W_To_MB(ZEM_CP_SYSTEM, s, n, nullptr, 0);
  if (m <= 0) return;
  std::string raw(static_cast<size_t>(m), '\0');
  int w = Zem_W_To_MB(ZEM_CP_SYSTEM, s, n, &raw[0], m);
  raw.resize(static_cast<size_t>(w > 0 ? w : 0));
  for (char c : raw) {
    switch (c) {
      case '&': *out += "&amp;"; break;
      case '<': *out += "&lt;"; break;
      case '>': *out += "&gt;"; break;
      case '"': *out += "&quot;"; break;
      case '\'': *out += "&apos;"; break;
      case '\0': break;  // embedded zeros have no place in XML text
      default: out->push_back(c);
    }
  }
}

void Put_Attr(std::string* out, const char* name, const wchar16* s) {
  *out += ' ';
  *out += name;
  *out += "=\"";
  Put_Text(out, s, dbdata::Str_Len(s));
  *out += '"';
}

void Put_Attr(std::string* out, const char* name, int v) {
  char b[48];
  std::snprintf(b, sizeof b, " %s=\"%d\"", name, v);
  *out += b;
}

// A name usable as an XML element: a letter, '_' or a non-ASCII unit first, then also digits, '-'
// and '.'; names beginning with "xml" in any case are reserved.
bool Xml_Name(const wchar16* s) {
  if (!s || !*s) return false;
  auto alpha = [](wchar16 c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80; };
  if (!alpha(s[0])) return false;
  for (const wchar16* p = s + 1; *p; ++p) {
    if (!alpha(*p) && !(*p >= '0' && *p <= '9') && *p != '-' && *p != '.') return false;
  }
  if (dbdata::Str_Len(s) >= 3 && (s[0] | 32) == 'x' && (s[1] | 32) == 'm' && (s[2] | 32) == 'l') return false;
  return true;
}

}  // namespace

int DBDataMgr::Write_Xml(std::string* out, const char* elem, int indent) const {
  if (!out) return 0;
  if (!elem || !*elem) elem = "dbio";
  Zem_Clean_Vector_State();  // every value is converted and escaped
  int f = Get_Field_Count();
  int r = Get_Row_Count();
  auto line = [&](int level) {
    if (indent < 0) return;
    *out += '\n';
    out->append(static_cast<size_t>(level * indent), ' ');
  };
  std::vector<std::string> tags(static_cast<size_t>(f));
  for (int i = 0; i < f; ++i) {
    const wchar16* n = cols_.Get(i)->name;
    if (Xml_Name(n)) {
      Put_Text(&tags[static_cast<size_t>(i)], n, dbdata::Str_Len(n));
    } else {
      tags[static_cast<size_t>(i)] = "field_" + std::to_string(i);
    }
  }

  *out += '<';
  *out += elem;
  *out += " type=\"dbio\"";
  Put_Attr(out, "sqlcode", sqlcode_);
  Put_Attr(out, "sqlmsg", Get_Sqlmsg());
  Put_Attr(out, "table_name", Get_Table_Name());
  Put_Attr(out, "colcount", f);
  Put_Attr(out, "rowcount", r);
  *out += '>';
  line(1);
  *out += "<col_list>";
  for (int i = 0; i < f; ++i) {
    const DBDataMgr_Col_Stru* d = cols_.Get(i);
    line(2);
    *out += "<col";
    Put_Attr(out, "name", d->name ? d->name : g_empty_w);
    Put_Attr(out, "caption", d->caption ? d->caption : g_empty_w);
    const wchar16 type[2] = {static_cast<wchar16>(static_cast<unsigned char>(d->type)), 0};
    Put_Attr(out, "type", type);
    Put_Attr(out, "size", d->size);
    Put_Attr(out, "width", d->width);
    Put_Attr(out, "decsize", d->decsize);
    *out += "/>";
  }
  line(1);
  *out += "</col_list>";
  line(1);
  *out += "<row_list>";
  for (int j = 0; j < r; ++j) {
    line(2);
    *out += "<row>";
    const DBIOCOLSTRU* c = rows_.Get(j)->cols;
    for (int i = 0; i < f; ++i) {
      const std::string& t = tags[static_cast<size_t>(i)];
      *out += '<';
      *out += t;
      *out += '>';
      Put_Text(out, dbdata::Text(c[i]), dbdata::Units(c[i]));
      *out += "</";
      *out += t;
      *out += '>';
    }
    *out += "</row>";
  }
  line(1);
  *out += "</row_list>";
  line(0);
  *out += "</";
  *out += elem;
  *out += '>';
  return 1;
}

// XML form of parameter packs, and the small XML writer behind it.
//
//   <?xml version="1.0" encoding="GB2312"?>
//   <para_mgr type="para" para_num="3">
//     <code type="int">42</code>
//     <name type="string">...</name>
//     <inner type="para" para_num="1">...</inner>
//   </para_mgr>
//
// Element names are the parameter names in the system code page; characters that may not stand in
// an XML name become '_' so that the document always parses.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/data/para.h"
#include "frame/vector_state.h"

namespace {
constexpr int kMaxXmlDepth = 16;  // packs inside packs written out; deeper ones stay as counts
}

void TXml_Writer::Declaration() { *out_ += "<?xml version=\"1.0\" encoding=\"GB2312\"?>"; }

void TXml_Writer::New_Line() {
  if (indent_ < 0 || out_->empty()) return;
  *out_ += '\n';
  out_->append(static_cast<size_t>(indent_) * open_.size(), ' ');
}

void TXml_Writer::End_Start_Tag() {
  if (!tag_open_) return;
  *out_ += '>';
  tag_open_ = false;
}

void TXml_Writer::Open(const char* name) {
  End_Start_Tag();
  if (!open_.empty()) open_.back().has_content = true;
  New_Line();
  *out_ += '<';
  *out_ += name;
  open_.push_back(Level{name, false, false});
  tag_open_ = true;
}

namespace {
void Escape(std::string* out, const char* s, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    switch (c) {
      case '&': *out += "&amp;"; break;
      case '<': *out += "&lt;"; break;
      case '>': *out += "&gt;"; break;
      case '"': *out += "&quot;"; break;
      case '\'': *out += "&apos;"; break;
      case 0: break;  // an embedded NUL has no place in XML
      default:
        // Control characters other than tab and line ends are not allowed in XML 1.0.
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') *out += '?';
        else out->push_back(static_cast<char>(c));
    }
  }
}
}  // namespace

void TXml_Writer::Attr(const char* name, const char* value) {
  if (!tag_open_) return;  // attributes belong to the start tag still being written
  *out_ += ' ';
  *out_ += name;
  *out_ += "=\"";
  if (value) Escape(out_, value, std::strlen(value));
  *out_ += '"';
}

void TXml_Writer::Attr(const char* name, int value) {
  char b[24];
  std::snprintf(b, sizeof b, "%d", value);
  Attr(name, b);
}

void TXml_Writer::Text(const char* text, int n) {
  size_t len = !text ? 0 : n < 0 ? std::strlen(text) : static_cast<size_t>(n);
  if (open_.empty() || len == 0) return;  // an empty text keeps the element empty: <name .../>
  End_Start_Tag();
  Escape(out_, text, len);
  open_.back().has_text = true;
}

void TXml_Writer::Raw(const std::string& xml) {
  End_Start_Tag();
  if (!open_.empty()) open_.back().has_content = true;
  New_Line();
  *out_ += xml;
}

void TXml_Writer::Close() {
  if (open_.empty()) return;
  Level l = open_.back();
  open_.pop_back();
  if (tag_open_) {
    *out_ += "/>";
    tag_open_ = false;
    return;
  }
  if (l.has_content && !l.has_text) New_Line();
  *out_ += "</";
  *out_ += l.name;
  *out_ += '>';
}

std::string TXml_Writer::Element_Name(const char* text) {
  std::string r;
  if (text) r = text;
  auto start_ok = [](unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80; };
  for (char& ch : r) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (!start_ok(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') ch = '_';
  }
  if (r.empty() || !start_ok(static_cast<unsigned char>(r[0]))) r.insert(r.begin(), '_');
  return r;
}

int TParaMgr::Xml_Doc(std::string* out) {
  if (!out) return 0;
  Zem_Clean_Vector_State();  // every parameter is converted and escaped
  TXml_Writer w(out);
  w.Declaration();
  w.Open("para_mgr");
  Write_Xml(&w);
  w.Close();
  return 1;
}

int TParaMgr::Write_Xml(TXml_Writer* w) { return w ? Write_Xml_Depth(w, 0) : 0; }

int TParaMgr::Write_Xml_Depth(TXml_Writer* w, int depth) {
  w->Attr("type", "para");
  w->Attr("para_num", Count());
  char b[64];
  for (int i = 0; i < paras_.Count(); ++i) {
    ParaStru* p = paras_.Get(i);
    char t = p->Type();
    if (t == 'M' || !t) continue;
    std::string elem = TXml_Writer::Element_Name(para_detail::To_Sys(p->Name()).c_str());
    int size = 0;
    const void* v = p->Get_Value(&size);
    if (t == 'S' && p->Data_Flag() == 1) {
      const TPara_Dbio_Hooks& h = Para_Dbio_Hooks();
      std::string x;
      if (v && h.xml && h.xml(v, p->Text_Bytes(), elem.c_str(), &x)) {
        w->Raw(x);
      } else {
        w->Open(elem.c_str());
        w->Attr("type", "dbio");
        w->Close();
      }
      continue;
    }
    w->Open(elem.c_str());
    switch (t) {
      case 'C':
      case 'I':
        w->Attr("type", "int");
        w->Text(p->Get_Str(b, sizeof b));
        break;
      case 'F':
        w->Attr("type", "float");
        w->Text(p->Get_Str(b, sizeof b));
        break;
      case 'W': {
        w->Attr("type", "string");
        tstr s;
        p->Get_Str(&s);
        w->Text(s.c_str(), s.length());
        break;
      }
      default:  // 'S'
        if (p->Data_Flag() == 2 && depth < kMaxXmlDepth) {
          TParaMgr inner;
          inner.Unpack_Para(v, static_cast<size_t>(p->Text_Bytes()));
          inner.Write_Xml_Depth(w, depth + 1);
          break;
        }
        if (p->Data_Flag() == 2) {
          w->Attr("type", "para");
          break;
        }
        w->Attr("type", "string");
        if (p->Is_External()) {
          std::snprintf(b, sizeof b, "%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(v)));
          w->Text(b);
        } else if (v) {
          const char* s = static_cast<const char*>(v);
          w->Text(s, static_cast<int>(strnlen(s, static_cast<size_t>(p->Text_Bytes()))));
        }
        break;
    }
    w->Close();
  }
  return 1;
}

// Parameter packs: ordered lists of named, typed values (ParaStru in a TParaMgr) that carry the
// arguments and results of calls between modules, hold the process-wide settings, and travel as a
// compact packed byte form, compressed with zlib when large.
//
// Packed form (every integer big-endian; names and 'W' values UTF-8; 'S'/'M' values their stored
// bytes in the system code page without the NUL; 'C'/'I' values as "%d" text, 'F' as "%f" text):
//
//   OFFSET  SIZE    CONTENT
//   0       1       '^'
//   1       1       version: '1' (3-byte lengths) or '2' (4-byte lengths)
//   2       3|4     total length of the packed form, header included
//   5|6     10      header area (zeros for a plain pack; derived packs fill and read it)
//   15|16   2       parameter count; 65535 means "65535 or more: read until the bytes end"
//   17|18   ...     the parameters, in list order:
//                     1     name length n (UTF-8 bytes, 1..255)
//                     n     name
//                     1     flag: 0 ordinary, 'W' wide value, else the data flag (1 packed data
//                           set, 2 packed pack); a reader takes 'S' as 0
//                     3|4   value length v (signed; in version '2' a negative length ends reading)
//                     v     value bytes
//
// Version '1' is written unless its total would exceed 16,581,375 bytes (0xFD02FF) or one value is
// that long or longer. A pack with more than 65535 parameters writes the count 65535 and all of its
// parameters; a reader stops at the count or at the end of the bytes, whichever comes first.
// A parameter whose name is empty cannot be represented and is left out (with a log line); a name
// longer than 255 UTF-8 bytes is cut at a character boundary.
//
// Compressed form: a pack whose packed size reaches the threshold is packed, compressed with zlib,
// and sent as an envelope pack of four parameters: "auto_zip_flag" = 1, "auto_zip_data" = the
// compressed bytes, "auto_zip_size" = their count, "auto_zip_org_size" = the packed size. The
// envelope carries the same header area as the inner pack.
//
// Unpacking never reads past the bytes it is given: the pointer-only Unpack_Para trusts the total
// length in the header, the sized overload the smaller of that and its size. A parameter that does
// not fit ends the reading; those read before it stay (log line, result 1). An envelope is expanded
// into a temporary pack and swapped in only when everything fits: corrupt compressed bytes or lying
// sizes give 0 with a log line and leave the pack exactly as it was. The expanded size is bounded by
// zlib's largest possible ratio (1032:1) over the compressed bytes, and by 1 GiB, before anything is
// allocated for it.
#pragma once
#include <cstddef>
#include <mutex>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/text/map_str.h"
#include "core/text/ot_array.h"
#include "core/text/zstr.h"

class TParaMgr;
class TSQLCA;  // the query area of the data layer

// One named, typed parameter. Types:
//   'C' one byte (1)   'I' signed 32-bit integer (4)   'F' single-precision float (4)
//   'S', 'M' narrow text of the system code page (text + NUL)
//   'W' wide text ((code units + 1) * 2 bytes, NUL-terminated)
// Values read back in any type through the getters (numbers as "%d"/"%f" text, texts read as numbers).
class ParaStru {
 public:
  ParaStru() = default;
  ~ParaStru();
  ParaStru(const ParaStru&) = delete;
  ParaStru& operator=(const ParaStru&) = delete;

  // Replace the text with an owned copy; 1, or 0 when the allocation fails. A parameter held by a
  // pack refuses (0) a name that another parameter of that pack already has.
  int Set_Name(const map_wchar& name);
  int Set_Mean(const map_wchar& mean);  // a null or empty text clears the description

  // Stores a value. length < 1: the size comes from the type ('C' 1, 'I'/'F' 4, 'S'/'M' text + NUL,
  // 'W' (units + 1) * 2; a null value gives an empty text). length >= 1: 'S'/'M' copy length bytes
  // and add a NUL, 'W' copies length bytes and adds a NUL unit, other types take exactly length
  // bytes. A null value fills with zeros. The value becomes owned (an external value is let go, not
  // freed). 1, or 0 for an unknown type letter (nothing changes) or a failed allocation.
  int Set_Value(const void* value, char type, int length);
  // Refers to the caller's bytes without copying them: type 'S', never freed by the parameter.
  int Set_External(const void* data, int length);

  // Conversions (see the table in para.cpp). Absent bytes read as 0 / empty.
  int Get_Int() const;
  float Get_Float() const;
  // Narrow text into buf of size bytes (the NUL included; size < 1: unlimited, the caller guarantees
  // the room); a cut never splits a double-byte character. Returns buf.
  char* Get_Str(char* buf, int size = -1) const;
  // Wide text into buf of size code units (the NUL included; size < 1: unlimited). Returns buf.
  wchar16* Get_WStr(wchar16* buf, int size = -1) const;
  // Clears the buffer, then fills it; 1.
  int Get_Str(tstr* out) const;
  int Get_WStr(wstr* out) const;
  // The raw value bytes and their allocated size (for texts the NUL included).
  const void* Get_Value(int* size) const;
  // Number of text bytes a narrow value holds: size - 1 for owned 'S'/'M', size for external data.
  int Text_Bytes() const;

  const wchar16* Name() const { return name_ ? name_ : g_empty_w; }
  const wchar16* Mean() const { return mean_; }
  int Size() const { return size_; }
  char Type() const { return type_; }
  bool Is_External() const { return external_; }
  unsigned char Data_Flag() const { return data_flag_; }
  void Set_Data_Flag(unsigned char flag) { data_flag_ = flag; }
  TParaMgr* Owner() const { return owner_; }

 private:
  friend class TParaMgr;
  static constexpr int kInlineName = 12;   // names shorter than this need no allocation
  static constexpr int kInlineValue = 16;  // nor do values of at most this many bytes
  void* Alloc(size_t n);
  void Release(void* p);
  void Drop_Value();
  int Store_Name(const wchar16* s, int n);

  void* value_ = nullptr;        // value bytes (value_buf_ or allocated), owned unless external_
  wchar16* name_ = nullptr;      // owned copy (name_buf_ or allocated)
  wchar16* mean_ = nullptr;      // description, owned copy or null
  int size_ = 0;                 // bytes of value_ allocated (or referred to when external)
  char type_ = 0;                // type letter, 0 until a value is set
  bool external_ = false;        // value_ belongs to someone else
  bool listed_ = false;          // held in its owner's list and name index
  bool from_slab_ = false;       // made in its owner's slab (see TParaMgr::Create_Para)
  int* changed_ = nullptr;       // owner's changed flag, set on every value change
  TParaMgr* owner_ = nullptr;    // allocator and owner, or null for the C heap
  unsigned char data_flag_ = 0;  // 0 ordinary, 1 packed data set, 2 packed pack; carried as is
  wchar16 name_buf_[kInlineName];                // holds name_ when it is short
  alignas(8) unsigned char value_buf_[kInlineValue];  // holds value_ when it is small
};

// Writes XML text into a string: declaration, nested elements, attributes and escaped text, two
// blanks of indent per level. Narrow text is taken as it is (system code page).
class TXml_Writer {
 public:
  explicit TXml_Writer(std::string* out, int indent = 2) : out_(out), indent_(indent) {}
  // <?xml version="1.0" encoding="GB2312"?>
  void Declaration();
  void Open(const char* name);                     // starts a child of the open element
  void Attr(const char* name, const char* value);  // only before Text or a child
  void Attr(const char* name, int value);
  void Text(const char* text, int n = -1);         // escaped; n < 0: up to the NUL; "" adds nothing
  void Close();                                    // "/>" when empty, else "</name>"
  // Appends ready XML (an element written by someone else) as a child of the open element.
  void Raw(const std::string& xml);
  int Depth() const { return static_cast<int>(open_.size()); }
  std::string* Out() { return out_; }
  // A usable element name from arbitrary text: bytes that may not stand in an XML name become '_',
  // and a name that cannot start as it is gets a leading '_'.
  static std::string Element_Name(const char* text);

 private:
  void End_Start_Tag();
  void New_Line();
  std::string* out_;
  int indent_;
  struct Level { std::string name; bool has_content; bool has_text; };
  std::vector<Level> open_;
  bool tag_open_ = false;
};

// Name -> parameter index of a pack: open addressing with linear probing. The slots are split into
// an array of 32-bit hash tags (0: empty) and an array of parameters, so that a miss (the usual
// case while a pack fills) reads only the small tag array. Keys are the parameters' own names,
// compared code unit by code unit. Not owning.
class TPara_Name_Index {
 public:
  ParaStru* Find(const wchar16* name, int n) const;
  void Insert(ParaStru* p);  // p's name must not be in the index yet
  void Erase(ParaStru* p);   // removes p if it is there under its name
  void Reserve(size_t n);
  void Clear();
  size_t Size() const { return used_; }
  // Never 0, which marks an empty slot.
  static uint32_t Hash(const wchar16* s, int n);

 private:
  void Grow(size_t slots);
  std::vector<uint32_t> tags_;       // a power of two in size, at most half in use
  std::vector<ParaStru*> paras_;     // beside tags_; read only where the tag is set
  size_t used_ = 0;
};

// How packs carry query areas ('S' values with data flag 1) and write them as XML. They hold the data
// layer's functions (core/data/sqlca.h) from the moment the library is loaded; a host may replace them.
// With a field set to null, Put_Sqlca_Para/Get_Sqlca_Para give 0 with a log line and the XML form
// writes an empty element for a packed data set.
struct TPara_Dbio_Hooks {
  // Packed form of the area's data set: a buffer released with std::free, its length in *len.
  void* (*pack)(TSQLCA* sqlca, int* len);
  // Reads a packed data set into the area: 1 or 0.
  int (*unpack)(TSQLCA* sqlca, const void* data, int len);
  // Appends the data set's XML form as an element named elem (with type="dbio"): 1 or 0.
  int (*xml)(const void* data, int len, const char* elem, std::string* out);
};
// Replaces the functions; meant for start-up (before worker threads). Null fields switch them off.
void Para_Set_Dbio_Hooks(const TPara_Dbio_Hooks& hooks);
const TPara_Dbio_Hooks& Para_Dbio_Hooks();

class TParaMgr {
 public:
  static constexpr int kMaxParents = 20;
  static constexpr int kMaxPrefixes = 10;
  static constexpr int kHeadSize = 10;

  TParaMgr();
  virtual ~TParaMgr();
  TParaMgr(const TParaMgr&) = delete;
  TParaMgr& operator=(const TParaMgr&) = delete;

  // The factory: kind 1 gives a ParaStru, made in the pack's own slabs (freed with the pack or by
  // Reset_Para). Derived packs may give their own; Release_Para deletes any it did not make.
  virtual ParaStru* Create_Para(int kind);
  virtual void Release_Para(ParaStru* p);
  // Allocation for names, descriptions and values of this pack's parameters (short names and small
  // values are held inside the parameter and take none). Counts live blocks.
  void* Mem_Alloc(size_t bytes, const char* tag);
  void Mem_Free(void* p);
  long long Mem_Blocks() const { return mem_blocks_; }

  // Creates or updates a parameter (name check, then Find_Para, so a parameter found in a parent is
  // updated there). Null when the name is refused or the value cannot be stored.
  ParaStru* Push_Para(const map_wchar& name, const void* value, char type, int length);
  ParaStru* Put_Int(const map_wchar& name, int value);
  ParaStru* Put_Float(const map_wchar& name, double value);
  ParaStru* Put_Str(const map_wchar& name, const char* value);     // null: empty text
  ParaStru* Put_WStr(const map_wchar& name, const wchar16* value); // null: empty text
  // Refers to the caller's bytes (kept alive by the caller until the pack is packed, reset or gone).
  ParaStru* Put_Data(const map_wchar& name, const void* data, int length);
  // Refers to bytes that the pack itself keeps alive (until Reset_Para or its end): a large value that
  // others share, such as a dictionary's packed rows, goes into a reply without a copy.
  ParaStru* Put_Shared(const map_wchar& name, std::shared_ptr<const std::string> bytes);
  // Keeps something alive as long as the pack's parameters may refer to it (until Reset_Para or the
  // pack's end).
  void Hold(std::shared_ptr<const void> keep);
  // Packed data set of the area as an 'S' value with data flag 1; null without the data layer.
  ParaStru* Put_Sqlca_Para(const map_wchar& name, TSQLCA* sqlca);
  // Packed form of another pack as an 'S' value with data flag 2; null for a null pack.
  ParaStru* Put_Para_Para(const map_wchar& name, TParaMgr* para);

  // 1 when present; otherwise 0 with numbers set to 0 and text buffers untouched (tstr/wstr: cleared).
  int Get_Int(const map_wchar& name, int* value);
  int Get_Float(const map_wchar& name, float* value);
  int Get_Str(const map_wchar& name, char* buf, int size = -1);
  int Get_WStr(const map_wchar& name, wchar16* buf, int size = -1);
  int Get_Str(const map_wchar& name, tstr* out);
  int Get_WStr(const map_wchar& name, wstr* out);
  // The value bytes and their size, or null with size 0.
  const void* Get_Data(const map_wchar& name, int* size);
  int Get_Sqlca_Para(const map_wchar& name, TSQLCA* sqlca);
  int Get_Para_Para(const map_wchar& name, TParaMgr* para);

  // Lookup: a matching prefix strips itself and looks the rest up among this pack's own parameters
  // (found or not); otherwise the whole name here, then in each parent in order (recursively).
  ParaStru* Find_Para(const map_wchar& name);
  // Deletes this pack's own parameter (prefixes apply, parents are not touched); 1 or 0.
  int Erase_Para(const map_wchar& name);
  int Reset_Para();
  int Set_Para_Pos(int n);  // deletes parameters n and later; 0 for n < 0

  // Up to 10 prefixes; an 11th, a null or an empty prefix is refused with 0 (the 11th with the log
  // line "paramgr add pre fail\n"), the list unchanged.
  int Add_Pre(const map_wchar& prefix);
  int Clear_Pre();
  int Pre_Count() const { return pre_count_; }
  const wchar16* Pre(int i) const { return (i >= 0 && i < pre_count_) ? pre_[i] : nullptr; }

  // Parents are referenced, not owned, and must outlive this pack. Lookups follow at most 20 levels,
  // so a cycle of parents ends instead of recursing forever.
  int Set_Parent(TParaMgr* parent);
  int Add_Parent(TParaMgr* parent);  // 0 for null, or a 21st ("paramgr add parent fail\n")
  int Parent_Count() const { return parent_count_; }
  TParaMgr* Parent(int i) const { return (i >= 0 && i < parent_count_) ? parents_[i] : nullptr; }

  // Reset_Para, then copies each parameter of source: type, value (external data becomes an owned
  // copy), data flag and description. Copying a pack onto itself does nothing.
  int Copy_Para(TParaMgr* source);

  // Packed form in a new buffer (release with std::free), its length in *length (when given). zip
  // nonzero and a size of at least threshold: the compressed envelope. Null on failure (log line).
  void* Pack_Para(int* length, int zip = 0, int threshold = 30000);
  // The plain packed form appended to *out, which grows once to its final size; the bytes appended, or
  // 0 on failure (log line; *out as it was).
  int Pack_Para_Into(std::string* out);
  // Reads a packed form, adding or updating parameters (1), or 0 for a bad head or a bad envelope.
  int Unpack_Para(const void* data);
  int Unpack_Para(const void* data, size_t size);
  // As the sized Unpack_Para, but narrow values of kRefer_Min bytes or more are not copied: they refer
  // to the bytes where they lie, which the caller keeps alive while the pack may read them (Hold).
  // Values read from a compressed envelope are copied as usual.
  static constexpr int kRefer_Min = 64 * 1024;
  int Unpack_Para_Refer(const void* data, size_t size);

  // XML: the whole document (declaration, root "para_mgr") appended to *out; 1.
  int Xml_Doc(std::string* out);
  // Gives the open element the attributes type="para" and para_num, and one child per parameter.
  int Write_Xml(TXml_Writer* w);

  // Writes "Pre Name %s" per prefix and one "Para: %02d Name: ..." line per parameter to the log; 1.
  int Dump();

  int Count() const { return paras_.Count(); }
  ParaStru* Para(int i) const { return (i >= 0 && i < paras_.Count()) ? paras_.Get(i) : nullptr; }
  int Changed() const { return changed_; }
  void Set_Changed(int v) { changed_ = v; }
  void Set_Name_Check(int on) { name_check_ = on != 0; }
  int Name_Check() const { return name_check_; }
  // Held by the process-wide packs' helpers around each access; a plain pack takes no lock itself.
  std::mutex& Lock() { return lock_; }

  // 1 when a name passes the name check: an ASCII letter, '_', '#' or a non-ASCII unit first, then
  // also digits, '.' and '$'.
  static int Name_Ok(const wchar16* name);

 protected:
  // The 10-byte header area: written on packing (zeros here), handed over on unpacking (ignored here).
  virtual void Write_Head(unsigned char head[kHeadSize]) const;
  virtual void Read_Head(const unsigned char head[kHeadSize]);

 private:
  friend class ParaStru;
  ParaStru* Find_Own(const wchar16* name, int n) const;
  ParaStru* Find_Depth(const wchar16* name, int depth);
  ParaStru* Find_Own_Pre(const wchar16* name);
  ParaStru* Locate(const wchar16* name, bool* created);
  ParaStru* Append(const wchar16* name, int kind);
  int Rename(ParaStru* p, const wchar16* name);
  void Delete_At(int i);
  // Into a new buffer, or (into non-null) appended to *into.
  void* Pack_Raw(int* length, const unsigned char head[kHeadSize], std::string* into = nullptr);
  int Unpack_Depth(const unsigned char* data, size_t size, int depth, bool refer = false);
  int Expand(const unsigned char* zdata, long long zsize, long long org, int depth);
  void Take_From(TParaMgr* other);
  void* Slab_Alloc();
  void Slab_Put(void* p);
  void Slab_Release_All();
  int Write_Xml_Depth(TXml_Writer* w, int depth);

  OT_Array<ParaStru*> paras_;  // parameters in insertion order, owned
  TPara_Name_Index index_;     // name -> parameter of paras_
  std::vector<void*> slabs_;              // blocks of parameters made by Create_Para, owned
  void* slab_free_ = nullptr;             // released cells, linked through their first word
  unsigned char* slab_next_ = nullptr;    // next unused cell of the last block
  size_t slab_left_ = 0;                  // unused cells left there
  size_t slab_objects_ = 0;               // cells of the last block
  TParaMgr* parents_[kMaxParents] = {};
  int parent_count_ = 0;
  wchar16* pre_[kMaxPrefixes] = {};
  int pre_count_ = 0;
  bool name_check_ = false;
  int changed_ = 0;
  long long mem_blocks_ = 0;
  std::vector<std::shared_ptr<const void>> holds_;  // what external values refer to (Hold)
  std::mutex lock_;
};

// The process-wide packs, found or created under "pub_para_mgr", "tmp_para_mgr", "rep_call_para".
TParaMgr* Pub_Para_Mgr();
TParaMgr* Tmp_Para_Mgr();
TParaMgr* Rep_Call_Para();

// By-name access to those packs, each under the pack's lock. Getters return nonzero when the
// parameter exists (text buffers are of size bytes / code units, the NUL included).
int Pub_Para_Get_Str(const map_wchar& name, char* buf, int size);
int Pub_Para_Get_WStr(const map_wchar& name, wchar16* buf, int size);
int Pub_Para_Get_Int(const map_wchar& name, int* value);
int Pub_Para_Put_Str(const map_wchar& name, const char* value);
int Pub_Para_Put_WStr(const map_wchar& name, const wchar16* value);
int Pub_Para_Put_Int(const map_wchar& name, int value);
int Tmp_Para_Get_Str(const map_wchar& name, char* buf, int size);
int Tmp_Para_Get_WStr(const map_wchar& name, wchar16* buf, int size);
int Tmp_Para_Get_Int(const map_wchar& name, int* value);
int Tmp_Para_Put_Str(const map_wchar& name, const char* value);
int Tmp_Para_Put_WStr(const map_wchar& name, const wchar16* value);
int Tmp_Para_Put_Int(const map_wchar& name, int value);
int Rep_Call_Para_Get_Str(const map_wchar& name, char* buf, int size);
int Rep_Call_Para_Get_WStr(const map_wchar& name, wchar16* buf, int size);
int Rep_Call_Para_Get_Int(const map_wchar& name, int* value);
int Rep_Call_Para_Put_Str(const map_wchar& name, const char* value);
int Rep_Call_Para_Put_WStr(const map_wchar& name, const wchar16* value);
int Rep_Call_Para_Put_Int(const map_wchar& name, int value);

// Small helpers shared by the parameter-pack sources; not meant for other callers.
namespace para_detail {
int W_Units(const wchar16* s);                        // code units before the NUL; 0 for null
std::string To_Sys(const wchar16* s, int n = -1);     // wide -> system code page
int Parse_Int(const char* s, int n);                  // "%d" reading of n bytes (stops at a NUL)
double Parse_Double(const char* s, int n);            // "%f" reading of n bytes
}  // namespace para_detail

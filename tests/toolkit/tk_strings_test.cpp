// TStringList: sorting, duplicates, text forms, name=value lines.
#include "toolkit/tk_strings.h"

#include <gtest/gtest.h>

namespace {

QStringList items(const TStrings& s) { return s.toQStringList(); }

TEST(StringList, SortedAddAndDuplicates) {
    struct Row { const char* name; TDuplicates dup; QStringList add; QStringList want; };
    const Row rows[] = {
        {"ignore keeps one", dupIgnore, {"b", "a", "B", "c"}, {"a", "b", "c"}},
        {"accept keeps all in order of adding", dupAccept, {"b", "a", "b", "c"}, {"a", "b", "b", "c"}},
        {"error refuses the second", dupError, {"x", "x"}, {"x"}},
        {"chinese texts sort", dupIgnore, {QString::fromUtf16(u"\u4E59"), QString::fromUtf16(u"\u7532")},
         {QString::fromUtf16(u"\u4E59"), QString::fromUtf16(u"\u7532")}},
    };
    for (const Row& r : rows) {
        TStringList l;
        l.SetDuplicates(r.dup), l.SetSorted(true);
        for (const QString& s : r.add) l.Add(s);
        EXPECT_EQ(items(l), r.want) << r.name;
    }
    TStringList l;
    l.SetSorted(true), l.SetDuplicates(dupError);
    EXPECT_EQ(l.Add("a"), 0);
    EXPECT_EQ(l.Add("a"), -1) << "a refused duplicate has no index";
    int at = -1;
    EXPECT_TRUE(!l.Find("b", at) && at == 1) << "not found: where it would go";
}

TEST(StringList, TextAndCommaTextRoundTrip) {
    struct Row { const char* name; QString text; QStringList lines; };
    const Row rows[] = {{"LF", "a\nb\n", {"a", "b"}}, {"CRLF", "a\r\nb", {"a", "b"}}, {"CR", "a\rb\r", {"a", "b"}},
                        {"empty line kept", "a\n\nb", {"a", "", "b"}}, {"empty text", "", {}}};
    for (const Row& r : rows) {
        TStringList l;
        l.SetText(r.text);
        EXPECT_EQ(items(l), r.lines) << r.name;
    }
    TStringList l;
    l.fromQStringList({"plain", "with, comma", "with \"quote\"", ""});
    QString comma = l.CommaText();
    TStringList back;
    back.SetCommaText(comma);
    EXPECT_EQ(items(back), items(l)) << comma.toStdString();
    back.SetCommaText("a,b,");
    EXPECT_EQ(items(back), (QStringList{"a", "b", ""}));
}

TEST(StringList, NamesValuesAndEdits) {
    TStringList l;
    l.Add("code=001"), l.Add("name=x");
    EXPECT_EQ(l.Values("NAME"), "x") << "names compare without case";
    l.SetValues("code", "002"), l.SetValues("new", "v");
    EXPECT_TRUE(l.Strings(0) == "code=002" && l.Count() == 3) << "a value replaced in place, a new one added";
    l.SetValues("name", "");
    EXPECT_EQ(l.IndexOfName("name"), -1) << "an empty value removes the line";
    l.SetStrings(99, "x"), l.Delete(-1), l.Insert(99, "x");
    EXPECT_TRUE(l.Strings(-1).isEmpty() && l.Count() == 2) << "out of range is forgiven";
    l.Move(0, 1);
    EXPECT_EQ(l.Strings(1), "code=002");
    int changes = 0;
    l.OnChange = [&](TObject*) { ++changes; };
    l.BeginUpdate(), l.Add("a"), l.Add("b"), l.EndUpdate();
    EXPECT_EQ(changes, 1) << "changes inside an update are reported once";
}

}  // namespace

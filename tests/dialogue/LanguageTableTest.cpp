#include <gtest/gtest.h>

#include <string>

#include "dialogue/LanguageTable.h"

namespace vellox {
namespace {

struct TableShape {
    const char* name;
    LanguageTable table;
    std::size_t lines;
    std::size_t entries;
};

std::vector<TableShape> Shapes() {
    return {{"Language_st_e2", LanguageTable::StE2(), 113, 28},
            {"Language0", LanguageTable::Zero(), 90, 19},
            {"Language_str", LanguageTable::InitialStr(), 123, 28}};
}

TEST(LanguageTable, CountsAndEntryStructure) {
    for (const TableShape& s : Shapes()) {
        SCOPED_TRACE(s.name);
        ASSERT_EQ(s.table.Count(), s.lines);
        for (std::size_t e = 0; e < s.entries; ++e) {
            EXPECT_EQ(s.table.Line(4 * e).substr(0, 1), ";") << "entry " << e;
            EXPECT_FALSE(s.table.Line(4 * e + 1).empty()) << "entry " << e;
            EXPECT_FALSE(s.table.Line(4 * e + 2).empty()) << "entry " << e;
            EXPECT_TRUE(s.table.Line(4 * e + 3).empty()) << "entry " << e;
        }
        for (std::size_t n = 4 * s.entries; n < s.lines; ++n) {
            EXPECT_TRUE(s.table.Line(n).empty()) << "line " << n;
        }
    }
}

TEST(LanguageTable, SharedEntriesReadByTheSwitch) {
    struct Expect {
        std::size_t entry;
        const char* comment;
        const char* chinese;
        const char* english;
    };
    const Expect shared[] = {
        {0, ";语言", "English", "中文"},
        {1, ";写按键", "升级", "Download"},
        {2, ";查询", "查询", "Query"},
        {3, ";读", "读出", "Read"},
        {4, ";备用键", "备用键", "Backup"},
        {10, ";备用键", "备用键", "Backup"},
        {11, ";信息表头", "信息", "Information"},
        {12, ";信息内容", "内容", "Content"},
        {13, ";硬件版本", "硬件版本", "Hardware Version"},
    };
    for (const TableShape& s : Shapes()) {
        SCOPED_TRACE(s.name);
        for (const Expect& x : shared) {
            EXPECT_EQ(s.table.Line(4 * x.entry), x.comment);
            EXPECT_EQ(s.table.Text(x.entry, 4, 0), x.chinese);
            EXPECT_EQ(s.table.Text(x.entry, 4, 1), x.english);
        }
    }
}

TEST(LanguageTable, VariantSpecificLabels) {
    const LanguageTable e2 = LanguageTable::StE2();
    EXPECT_EQ(e2.Text(14, 4, 1), "Hardware Date");
    EXPECT_EQ(e2.Line(4 * 15), ";Boot版本");
    EXPECT_EQ(e2.Text(17, 4, 0), "应用程序版本");
    EXPECT_EQ(e2.Text(18, 4, 1), "Application Date");
    EXPECT_EQ(e2.Text(20, 4, 0), "无线日期");
    EXPECT_EQ(e2.Text(21, 4, 1), "Icon Version");
    EXPECT_EQ(e2.Line(4 * 27), ";版本备用");
    EXPECT_EQ(e2.Text(27, 4, 1), "Hardware Version");

    const LanguageTable zero = LanguageTable::Zero();
    EXPECT_EQ(zero.Line(4 * 14), ";硬件名称");
    EXPECT_EQ(zero.Text(14, 4, 0), "产品");
    EXPECT_EQ(zero.Text(14, 4, 1), "Product ID");
    EXPECT_EQ(zero.Text(16, 4, 1), "RF Version");
    EXPECT_EQ(zero.Line(4 * 18), ";Application SN");
    EXPECT_EQ(zero.Text(18, 4, 0), "应用程序系列码");
    EXPECT_EQ(zero.Text(18, 4, 1), "SN");

    // The active table starts as the E2 variant with a longer empty tail.
    const LanguageTable str = LanguageTable::InitialStr();
    for (std::size_t n = 0; n < 112; ++n) EXPECT_EQ(str.Line(n), e2.Line(n)) << "line " << n;
}

TEST(LanguageTable, LookupBeyondTheTableGivesEmptyText) {
    LanguageTable active = LanguageTable::InitialStr();
    EXPECT_EQ(active.Line(122), "");
    EXPECT_EQ(active.Line(123), "");
    EXPECT_EQ(active.Line(100000), "");
    EXPECT_EQ(active.Text(30, 4, 1), "");
    EXPECT_EQ(active.Text(static_cast<std::size_t>(-1), 4, 1), "");

    // After a copy of Language0, entries from 19 on are empty in both languages, although
    // the E2 table had texts there.
    EXPECT_EQ(active.Text(19, 4, 1), "RF Version");
    active.CopyFrom(LanguageTable::Zero());
    EXPECT_EQ(active.Count(), 90u);
    for (std::size_t e = 19; e < 40; ++e) {
        EXPECT_EQ(active.Text(e, 4, 0), "") << "entry " << e;
        EXPECT_EQ(active.Text(e, 4, 1), "") << "entry " << e;
    }
    EXPECT_EQ(active.Text(18, 4, 1), "SN");

    active.CopyFrom(LanguageTable::StE2());
    EXPECT_EQ(active, LanguageTable::StE2());
}

}  // namespace
}  // namespace vellox

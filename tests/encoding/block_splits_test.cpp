// Pages in other encodings than UTF-8, read in blocks of every small size: a character, an escape
// sequence or the <meta> that names the encoding cut between two blocks comes out as from one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/in_process.h"

namespace tagsift {
namespace {

using testing::runInProcess;

struct Row {
    const char* what;
    std::string page;  // its <p> and <div> elements hold the text of interest
    std::string want;  // what the rules below print, read in one block
};

const std::vector<std::string> kRules{"-tag", "p", "-out", "$_charset$ %J$t$|%tJ$_body$\\n",
                                      "-tag", "div", "-out", "%cH$_body$|%H$_tag$\\n"};

// A comment before the <meta>, long enough to cut it between small blocks.
const std::string kBefore = "<!-- " + std::string(40, '.') + " -->";

const Row kRows[] = {
    {"Shift_JIS: trail bytes '\\' and '{', and a reference after",
     kBefore + "<meta charset=shift_jis><p t=\"\x95\\\x93\xfa\">\x93\xfa\x96{\x8c\xea \xb6\xc0&amp;\x81\x95&#x41;\x95\\</p>"
               "<div>\x95\\<b c=\"\x93\xfa\">\x96{</b></div>",
     "Shift_JIS 表日|日本語 ｶﾀ&＆A表\n表<b c=\"日\">本</b>|<div>\n"},
    {"gb18030: four bytes a character",
     kBefore + "<meta http-equiv=content-type content='text/html;charset=GB18030'><p t=\"\x94\x39\xfc\x36\">"
               "\xd6\xd0\x94\x39\xfc\x36\x81\x30\x81\x30\x80</p><div>\xa8\xa6<!-- \x94\x39\xfc\x36 --></div>",
     "gb18030 😀|中😀\xc2\x80€\né|<div>\n"},
    {"ISO-2022-JP: escape sequences, and text that starts over after a tag",
     kBefore + "<meta charset=iso-2022-jp><p t=\"\x1b$BF|K\\\x1b(B\">\x1b$BF|K\\8l\x1b(B \x1b(I12\x1b(B</p>"
               "<div>\x1b$B%F\x1b(B<i>\x1b$B%-\x1b(B</i></div>",
     "ISO-2022-JP 日本|日本語 ｱｲ\nテ<i>キ</i>|<div>\n"},
    {"Big5: one code for two characters",
     kBefore + "<meta charset=big5><p t=\"\x88\x62\">\xa4\xa4\x88\x62\xa4\xe5</p><div>\x88\x64</div>",
     "Big5 \xc3\x8a\xcc\x84|中\xc3\x8a\xcc\x84文\n\xc3\x8a\xcc\x8c|<div>\n"},
    {"windows-1251: a table a byte",
     kBefore + "<meta charset=windows-1251><p t=\"\xc0\x98\">\xcf\xf0\xe8\xe2\xe5\xf2 &#1046;\x98</p><div>\xdf</div>",
     "windows-1251 А\xc2\x98|Привет Ж\xc2\x98\nЯ|<div>\n"},
    {"EUC-KR: leads that iconv rejects before the byte after them comes",
     kBefore + "<meta charset=euc-kr><p t=\"\xc9\xa1\xa1\xa1\">\xc9\xa1\xa1\xa1\xfe\xa1\xb0\xa1</p><div>\xc9\xa1</div>",
     "EUC-KR \xef\xbf\xbd\xe3\x80\x80|\xef\xbf\xbd\xe3\x80\x80\xef\xbf\xbd\xea\xb0\x80\n\xef\xbf\xbd|<div>\n"},
    {"an unfinished character before a tag, and at the end",
     kBefore + "<meta charset=shift_jis><p t=\"\x93\">\x93<b>\xfa</b>\x96</p><div>\x93",
     "Shift_JIS \xef\xbf\xbd|\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\n\xef\xbf\xbd"},
};

TEST(EncodingBlockSplits, CharactersCutBetweenBlocksComeOutWhole) {
    for (const Row& row : kRows) {
        EXPECT_EQ(runInProcess(kRules, row.page).out, row.want) << row.what;
        for (std::size_t size = 1; size <= 64; ++size)
            EXPECT_EQ(runInProcess(kRules, row.page, size).out, row.want) << row.what << ", in blocks of " << size;
    }
}

// Texts longer than a step of the converter: a run of one piece, moved against the steps' edges,
// comes out as that many of the piece alone (errors and Big5's own pairs among them).
TEST(EncodingBlockSplits, LongTextsComeOutAsTheirPieces) {
    const std::pair<std::string, std::string> pieces[] = {
        {"big5", "\xa1\x45\xa4\xa4\x80\xff"}, {"shift_jis", "\x93\xfa\x80\xff"}, {"euc-jp", "\xc6\xfc\x80\x8f\xa2\xc3"},
        {"gb18030", "\x94\x39\xfc\x36\xd6\xd0\xff"}, {"iso-2022-jp", "\x1b$BF|\x1b(B"}, {"euc-kr", "\xb0\xa1\xff"}};
    const std::vector<std::string> rules{"-tag", "p", "-out", "%J$t$"};
    for (const auto& [label, piece] : pieces) {
        const std::string one = runInProcess(rules, "<meta charset=" + label + "><p t=\"" + piece + "\">").out;
        for (std::size_t lead = 0; lead < 4; ++lead) {
            std::string page = "<meta charset=" + label + "><p t=\"" + std::string(lead, 'a'), want(lead, 'a');
            for (int i = 0; i < 300; ++i) page += piece, want += one;
            EXPECT_EQ(runInProcess(rules, page + "\">").out, want) << label << ", " << lead;
        }
    }
}

}  // namespace
}  // namespace tagsift

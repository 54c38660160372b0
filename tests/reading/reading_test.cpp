// How the input is read must never show: every read-block size and width of
// the scanner's byte classifier (64 bytes, 16, or one by one in a block's last
// window) gives what one-byte blocks give, where each tag takes the plain way.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/in_process.h"

namespace tagsift {
namespace {

using testing::runInProcess;
using Words = std::vector<std::string>;

// Pieces that put names, quotes, comments, line ends and '>' on both sides of
// 64-byte windows and of small blocks.
std::string page(unsigned seed, int pieces) {
    const char* parts[] = {
        "text ", "\n", "\r\n", "\r", "\t", "\f", "\v", "  ", "<a href=\"x>y\">", "<A HREF=z>", "<ab c>",
        "<abc>", "<b t='it\"s'>", "<B>", "<bb x=\"\n\n\">", "</p>", "</P x>", "<p>", "<P id=\"1\">",
        "<!-- <a> -- -->", "<!---->", "<!-->", "--->", "<!-- x > <a href=c> -->", "<a\nclass=c>", "<x\ny=1>",
        "<br/>", "<>", "< a>", "a < b ", "<img src=i.png alt>", "\"", "'", ">", "<a\rb=1>", "<a\fb=2>",
        "<a\vb=3>", "<td width=100%>", "<input checked>", "<a href=\"", "\">", "</a>",
        "<longnamethatrunsonandonandonandonandonandonandonandonpastsixtyfour q='>'>",
        "<longnamethatrunsonandonandonandonandonandonandonandonpastsixtyfour_>",
        "                                                                      ",
        "<x a='................................................................'>", "<x\"y>", "<x'y z='>'>",
        "<longnamewithquotesthatrunsonandonandonandonandonandon\"past'sixtyfour>", "<b<c\nd>", "<b<a>",
        "<tr\n>", "a\"b", "<q a=\"<a>\" b='<!--'>", "<\xd0\xb0 x=1>",
        "<a href=controls\x01\x0b\x1b\x7f-in-a-value-past-sixteen b=two>", "<a\001b href=ctl>",
        "<base href=\"http://h/d/\">", "<BASE x>", "<a x\"y>", "<q x=\"1\"y>", "<a b =  'c' d\t=e>",
        "</b>", "</Q>", "</q\n>", "<b>cell</b>", "<q>a<i x='>'>b</q>", "<b>1<i>2<i>3<i>4<i>5<i>6<i>7<i>8<i>9<i>10</b>",
        // Cells one after another, with and without what lets them be read in a row.
        "<b>x</b><b>y</b><B>z</B>", "<b>x</b ><b>y</b>", "<b>x</b><b t=1>y</b><b>", "<q>1</q><q>2</q><q>3",
        "<b t=2>u</b><b>v</b><b>\nw</b>", "</b><b>", "<b>x</b></i>\n<i y='>'> <b>y</b>", "<b>x</b><i><i><i><b>y</b>",
        "<b>x</b><!-- c --><b>y</b>", "<b>x</b><a href=q><b>y</b>", "<b>x</b></i\n><b>y</b>", "<b>x</b> a<i>",
    };
    std::string text;
    for (int i = 0; i < pieces; ++i) {
        seed = seed * 1103515245u + 12345u;
        text += parts[(seed >> 16) % std::size(parts)];
    }
    return text;
}

const std::vector<Words> kCommands = {
    {"-tag", "a", "-out", "$_line$:$_pos$ $_name$ $~href$ $b$ $_num$/$_gnum$\\n", "-tag", "input", "-if",
     "checked", "-out", "$_tag$\\n"},
    {"-tag", "B", "-out", "$_line$:$_pos$|", "-tag", "img", "-out", "$_line$:$_pos$ $_tag$\\n"},
    {"-tag", "p", "-out", "[$_body$]$_line$:$_pos$\\n", "-tag", "x", "-out", "<$y$>"},
    {"-tag", "p", "-out", "[%c$_body$]$id$\\n", "-tag", "ab", "-out", "{%t$_body$}$_name$$c$\\n"},
    {"-tag", "", "-out", "($_tag$)"},
    {"-tag", "/p", "-out", "$_line$:$_pos$,", "-tag", "q", "-out", "%t$_body$|"},
    {"-tag", "longnamethatrunsonandonandonandonandonandonandonandonpastsixtyfour_", "-out", "$_line$:$_pos$\\n",
     "-tag", "!--x", "-out", "!"},
    // More first bytes than the classifier compares one by one, more names than the lookup lists.
    {"-tag", "td", "-tag", "TR", "-tag", "q", "-tag", "c", "-tag", "d", "-tag", "e", "-tag", "f", "-tag", "g",
     "-tag", "h", "-out", "$_name$@$_line$:$_pos$ "},
    {"-tag", "\xd0\xb0", "-out", "$_pos$;"},  // a first byte past 127; a column alone needs the lines too
    // No place printed: no line is counted on the quick way.
    {"-tag", "p", "-out", "[$_body$]\\n", "-tag", "a", "-out", "$~href$ $_name$ $b$\\n", "-tag", "img", "-out", "$_tag$;"},
    // Tags read where the pass finds them: conditions, counts, a base looked for, a body beside
    // them, a few names or every open.
    {"-tag", "a", "-if", "href", "-out", "$href$|$_num$ ", "-tag", "a", "-out", "-", "-tag", "img", "-out",
     "$src$ $~alt$;", "-tag", "x", "-out", "%H$y$,"},
    {"-tag", "base", "-out", "%U$href$\\n", "-tag", "a", "-out", "%U$href$ $_gnum$\\n"},
    {"-tag", "p", "-out", "{%c$_body$}", "-tag", "a", "-out", "$href$ $_gnum$\\n", "-tag", "B", "-out", "$t$/$_num$ "},
    {"-tag", "a", "-tag", "q", "-tag", "x", "-out", "$_name$:$a$$x$ "},
    // Bodies of text printed whole where the pass finds them, or left to the ordinary way: a wanted
    // tag inside, a rule for the end tag, a base looked for, a comment, a line feed in a name.
    {"-tag", "b", "-out", "%t$_body$\\n", "-tag", "q", "-out", "{$x$%t$_body$$x$}", "-tag", "/q", "-out", "/"},
    {"-tag", "p", "-out", "[%t$_body$]$id$\\n", "-tag", "a", "-out", "$href$;", "-tag", "base", "-out", "%U$href$"},
    // Cells read in a row: a next one that a condition turns away or prints without its body, and
    // counts that go on across the row.
    {"-tag", "b", "-if", "t", "-out", "%t$_body$|"},
    {"-tag", "b", "-out", ".", "-tag", "b", "-if", "t", "-out", "<%t$_body$>"},
    {"-tag", "b", "-out", "%t$_body$;", "-tag", "a", "-out", "$_gnum$ "},
};

TEST(Reading, BlocksAndClassifierWidthsDoNotShow) {
    // Pages of pieces, and input that ends inside a tag, its quotes or its name.
    std::vector<std::string> pages{"<x", "<x ", "<x '", "<x \"a>", "<x 'a' ", "x<y>text", "<a><x>\n<", "<x>t<a", "<p>a\r"};
    for (unsigned seed = 1; seed <= 30; ++seed) pages.push_back(page(seed, 200));
    // CR LF pairs around stretches long enough for the input to cut the block around them rather
    // than move them, next to short ones and to pairs one after another.
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::string text;
        for (const char c : page(seed, 1500))
            if (c != '\r') text.push_back(c);
        for (std::size_t at : {text.size(), std::size_t{10000}, std::size_t{5001}, std::size_t{5000}, std::size_t{20}, std::size_t{0}})
            text.insert(std::min(at, text.size()), "\r\n");
        pages.push_back(text);
    }
    for (const std::string& text : pages)
        for (const Words& args : kCommands) {
            const testing::Outcome expected = runInProcess(args, text, 1);
            for (std::size_t blockSize : {std::size_t{7}, std::size_t{64}, std::size_t{65}, std::size_t{200}, std::size_t{1} << 16})
                for (PassOver::Width width : PassOver::widths()) {
                    const testing::Outcome got = runInProcess(args, text, blockSize, width);
                    ASSERT_TRUE(got == expected) << "blocks of " << blockSize << ", " << PassOver::widthName(width) << ", rule "
                                                 << args[1] << ": " << got.out << got.err << "\ninstead of "
                                                 << expected.out << expected.err << "\npage:\n" << text;
                }
        }
}

}  // namespace
}  // namespace tagsift

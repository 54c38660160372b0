// The scanner's shortcut past tags without a rule, with each width of its byte
// classifier and block size, against one-byte blocks, where every tag takes the
// ordinary way. Input: a byte choosing the block size, a byte choosing the body
// region, the compares and whether places are printed, rule names one per line
// up to a zero byte, the page.
#include <cstdio>
#include <cstdlib>

#include "support/in_process.h"

using tagsift::testing::runInProcess;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const std::size_t namesEnd = data.find('\0', 2);
    if (size < 2 || namesEnd == std::string_view::npos) return 0;
    const auto choice = static_cast<unsigned char>(data[0]);
    const std::size_t blockSize = choice < 128 ? choice + 1u : std::size_t{1} << 16;
    const auto widths = tagsift::PassOver::widths();
    const tagsift::PassOver::Width width = widths[static_cast<unsigned char>(data[1]) / 4 % widths.size()];
    // A region that ends at </p>: none, text only, text and comments, everything.
    const char* regions[] = {nullptr, "[%t$_body$]", "[%c$_body$]", "[$_body$]"};
    std::vector<std::string> args;
    if (const char* region = regions[data[1] & 3]) args = {"-tag", "p", "-out", region};
    // A run that prints no place counts no line on the quick way.
    const char* format = data[1] & 0x80 ? "$_name$@$_tag$" : "$_name$@$_line$:$_pos$$_tag$";
    std::string_view names = data.substr(2, namesEnd - 2);
    for (int n = 0; n < 9; ++n) {
        const std::size_t end = names.find('\n');
        args.insert(args.end(), {"-tag", std::string(names.substr(0, end)), "-out", format});
        if (end == std::string_view::npos) break;
        names.remove_prefix(end + 1);
    }
    const std::string_view page = data.substr(namesEnd + 1);
    const auto expected = runInProcess(args, page, 1);
    const auto got = runInProcess(args, page, blockSize, width);
    if (got == expected) return 0;
    std::fprintf(stderr, "blocks of %zu, %s compares differ from one-byte blocks: [%s] against [%s]\n", blockSize,
                 tagsift::PassOver::widthName(width), got.out.c_str(), expected.out.c_str());
    std::abort();
}

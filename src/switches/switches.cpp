#include "switches/switches.h"

#include <algorithm>
#include <stdexcept>

#include "base/fatal.h"
#include "base/text.h"

namespace tagsift {

namespace {

bool inWordList(std::string_view list, std::string_view name) {
    if (name.empty()) return false;
    std::size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && isSpace(static_cast<unsigned char>(list[i]))) ++i;
        std::size_t start = i;
        while (i < list.size() && !isSpace(static_cast<unsigned char>(list[i]))) ++i;
        if (i > start && list.substr(start, i - start) == name) return true;
    }
    return false;
}

const SwitchSpec* findSwitch(std::string_view name, std::span<const SwitchSpec> rows) {
    for (const SwitchSpec& row : rows) {
        switch (row.kind) {
            case SwitchKind::Letters:
            case SwitchKind::LetterWithText:
            case SwitchKind::LetterWithTextAndWords:
                // Both names may be empty: their first characters are then the terminators.
                if ((row.name.empty() ? '\0' : row.name[0]) == (name.empty() ? '\0' : name[0]))
                    return &row;
                break;
            case SwitchKind::Name:
            case SwitchKind::NameWithWords:
                if (row.name == name) return &row;
                break;
        }
    }
    return nullptr;
}

const SwitchSpec* findLetterSwitch(char letter, std::span<const SwitchSpec> rows) {
    for (const SwitchSpec& row : rows)
        if (row.kind == SwitchKind::Letters && !row.name.empty() && row.name[0] == letter) return &row;
    return nullptr;
}

}  // namespace

bool SwitchParser::isSwitchWord(std::string_view word) const {
    return !word.empty() && switchPrefixes.find(word[0]) != std::string::npos;
}

int SwitchParser::countArguments(const SwitchSpec& row,
                                 std::span<const std::string> following) const {
    int n = static_cast<int>(following.size());
    auto firstWhere = [&](auto stops) {
        for (int i = 0; i < n; ++i)
            if (isSwitchWord(following[i]) && stops(std::string_view(following[i]).substr(1)))
                return i;
        return n;
    };
    switch (row.countRule) {
        case CountRule::UpToNextSwitch: return firstWhere([](std::string_view) { return true; });
        case CountRule::All: return n;
        case CountRule::WhileListed:
            return firstWhere([&](std::string_view name) { return !inWordList(row.words, name); });
        case CountRule::UntilListed:
            return firstWhere([&](std::string_view name) { return inWordList(row.words, name); });
    }
    return 0;
}

void SwitchParser::parseSwitches(std::span<const std::string> words,
                                 std::span<const SwitchSpec> rows) const {
    // A row that takes no words can be offered none: a count there is a mistake in the table.
    for (const SwitchSpec& row : rows)
        if ((row.kind == SwitchKind::Name || row.kind == SwitchKind::LetterWithText || row.kind == SwitchKind::Letters) &&
            row.maxArgs != 0)
            throw std::logic_error("switch -" + row.name + " takes no words, but its row offers some");
    std::size_t i = 1;
    while (i < words.size()) {
        const std::string& word = words[i];
        if (!isSwitchWord(word)) {
            onPlainArgument(word);
            ++i;
            continue;
        }
        std::string name = word.substr(1);
        const SwitchSpec* row = findSwitch(name, rows);
        if (!row) {
            onUnknownSwitch(name);
            ++i;
            continue;
        }
        std::size_t left = words.size() - i - 1;
        std::size_t limit = std::min<std::size_t>(left, static_cast<std::size_t>(std::max(row->maxArgs, 0)));
        std::span<const std::string> following = words.subspan(i + 1, limit);
        int result = 0;
        switch (row->kind) {
            case SwitchKind::Letters:
                row->handler(0, {});
                for (std::size_t j = 1; j < name.size(); ++j) {
                    const SwitchSpec* letter = findLetterSwitch(name[j], rows);
                    if (!letter) {
                        onUnknownSwitch(name.substr(j, 1));
                        break;
                    }
                    letter->handler(0, {});
                }
                break;
            case SwitchKind::LetterWithText: {
                std::string text[1] = {name.empty() ? std::string() : name.substr(1)};
                row->handler(1, text);
                break;
            }
            case SwitchKind::LetterWithTextAndWords: {
                int k = countArguments(*row, following);
                std::vector<std::string> offered;
                offered.reserve(static_cast<std::size_t>(k) + 1);
                offered.push_back(name.empty() ? std::string() : name.substr(1));
                offered.insert(offered.end(), following.begin(), following.begin() + k);
                result = row->handler(k + 1, offered);
                break;
            }
            case SwitchKind::Name: result = row->handler(0, {}); break;
            case SwitchKind::NameWithWords: {
                int k = countArguments(*row, following);
                result = row->handler(k, words.subspan(i + 1));
                break;
            }
        }
        if (result == kEnough) return;
        if (result < 0) throw fatal::silent();
        i += 1 + static_cast<std::size_t>(result);
    }
}

}  // namespace tagsift

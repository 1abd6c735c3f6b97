// Parsing of the paragraph markup.
#include "UI/Text/TextMarkup.h"

std::vector<CTextRun> kelParseMarkup(std::string_view s) {
    std::vector<CTextRun> runs;
    CTextStyle style;
    auto addText = [&](std::string_view t) {
        if (t.empty()) return;
        if (!runs.empty() && runs.back().kind == CTextRun::Text && runs.back().style == style)
            runs.back().text.append(t);
        else
            runs.push_back({CTextRun::Text, std::string(t), style});
    };
    size_t pos = 0;
    while (pos < s.size()) {
        const size_t open = s.find('[', pos);
        if (open == std::string_view::npos) {
            addText(s.substr(pos));
            break;
        }
        addText(s.substr(pos, open - pos));
        const size_t close = s.find(']', open + 1);
        if (close == std::string_view::npos) {
            addText(s.substr(open));
            break;
        }
        const std::string_view tag = s.substr(open + 1, close - open - 1);
        const bool end = !tag.empty() && tag[0] == '/';
        const std::string_view name = end ? tag.substr(1) : tag;
        bool known = true;
        if (name == "B") style.bold = !end;
        else if (name == "I") style.italic = !end;
        else if (name == "SUP") style.sup = !end;
        else if (name == "C1") style.color = end ? 0 : 1;
        else if (name == "C2") style.color = end ? 0 : 2;
        else if (name == "BR" && !end) runs.push_back({CTextRun::Break, {}, style});
        else if (!end && name.substr(0, 4) == "IMG=") runs.push_back({CTextRun::Image, std::string(name.substr(4)), style});
        else known = false;
        if (!known) addText(s.substr(open, close - open + 1));
        pos = close + 1;
    }
    return runs;
}

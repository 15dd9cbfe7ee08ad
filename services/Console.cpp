#include "services/Console.h"

#include "services/Host.h"

namespace tq9 {

void Console::Add(const std::string& line) {
    lines_.push_back(line);
    if (view_) view_->ConsoleLineAdded(line);
}

void Console::Clear() {
    ++replacements_;
    lines_.clear();
    if (view_) view_->ConsoleReplaced(lines_);
}

void Console::SetText(const std::string& text) {
    ++replacements_;
    lines_.clear();
    if (!text.empty()) {
        std::string line;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '\r' || c == '\n') {
                lines_.push_back(line);
                line.clear();
                if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            } else {
                line += c;
            }
        }
        // A trailing line end closes the last line; it does not start an empty one.
        const char last = text.back();
        if (last != '\r' && last != '\n') lines_.push_back(line);
    }
    if (view_) view_->ConsoleReplaced(lines_);
}

std::string Console::Text() const {
    std::string text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (i) text += '\n';
        text += lines_[i];
    }
    return text;
}

}  // namespace tq9

#pragma once
// The console: an append-only list of lines shown in the window's console pane.

#include <cstdint>
#include <string>
#include <vector>

namespace tq9 {

class OperatorView;

class Console {
  public:
    explicit Console(OperatorView* view = nullptr) : view_(view) {}

    void Add(const std::string& line);
    void Clear();
    // Replaces the whole content, split at line ends (CR, LF or CR LF): a log file takes
    // the console's place. What the operator types into the pane is not the console's.
    void SetText(const std::string& text);

    const std::vector<std::string>& Lines() const { return lines_; }
    // The content as one text, lines joined with LF.
    std::string Text() const;
    // Counts the times the content was cleared or replaced, so a reader can tell whether
    // the lines it saw before are still the first ones.
    std::uint64_t Replacements() const { return replacements_; }

  private:
    OperatorView* view_;
    std::vector<std::string> lines_;
    std::uint64_t replacements_ = 0;
};

}  // namespace tq9

#pragma once
// tq9ctl's help text, made by CLI11 from the declarations: descriptions wrapped to a
// terminal's width, and --help-all laid out so that help2man makes the manual page of it.

#include <CLI/CLI.hpp>
#include <sstream>
#include <string>

namespace tq9 {

inline constexpr std::size_t kHelpWidth = 80;

// The help's closing paragraphs, each where it applies.
inline constexpr const char* kCableHelp =
    "CABLE: --cable SERIAL or --index N picks the cable; without them, the first one.";
inline constexpr const char* kJsonHelp =
    "--json: each operation writes one JSON object on standard output instead of the\n"
    "console lines: its board record (the fields of \"tq9ctl records --json\") with its\n"
    "\"dialogs\", its console \"lines\" and \"record_warning\". A refusal is an object\n"
    "too: {\"error\": TEXT, \"exit_code\": N}.";
inline constexpr const char* kInterruptHelp =
    "On a terminal, long waits show their progress on standard error. Ctrl-C acts as\n"
    "the window's Cancel (a running avrdude is stopped); a second Ctrl-C ends the\n"
    "program at once, avrdude with it, and its board record says so.";
inline constexpr const char* kExitHelp =
    "Exit codes: 0 done and the board answered, 1 the board or the operation failed\n"
    "(no answer, an error line, a warning or error dialog), 2 usage error or bad\n"
    "input, 3 no cable found or no driver, 130 interrupted by Ctrl-C.";

// CLI11's help, with each description wrapped to the terminal's usual width and an
// option's value shown by its name alone (its range is in its description).
class HelpFormatter : public CLI::Formatter {
  public:
    std::string make_option_opts(const CLI::Option* option) const override {
        if (option->get_positional() || option->get_type_size() == 0) return {};
        return " " + option->get_type_name();
    }
    std::string make_option_desc(const CLI::Option* option) const override {
        return Wrap(option->get_description(), kHelpWidth - get_column_width());
    }
    std::string make_subcommand(const CLI::App* sub) const override {
        std::stringstream out;
        CLI::detail::format_help(out, sub->get_display_name(true),
                                 Wrap(sub->get_description(), kHelpWidth - get_column_width()),
                                 get_column_width());
        return out.str();
    }
    // --help-all, which the manual page is made from: the list of commands, then each
    // command as a paragraph of its own under its usage, with its options and notes.
    std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override {
        std::string text = CLI::Formatter::make_subcommands(app, CLI::AppFormatMode::Normal);
        if (mode != CLI::AppFormatMode::All) return text;
        for (const CLI::App* sub : app->get_subcommands({}))
            text += "\n" + make_expanded(sub);
        return text;
    }
    std::string make_expanded(const CLI::App* sub) const override {
        std::string name = sub->get_name();
        for (const CLI::App* parent = sub->get_parent(); parent && parent->get_parent();
             parent = parent->get_parent())
            name = parent->get_name() + " " + name;
        std::string usage = make_usage(sub, app_name_ + " " + name);
        usage = usage.substr(usage.find(": ") + 2);
        std::string text = usage.substr(0, usage.find('\n')) + ":\n" +
                           Indent(Wrap(sub->get_description(), kHelpWidth - 2)) + "\n\n";
        for (const bool positional : {true, false}) {
            for (const CLI::Option* option : sub->get_options()) {
                if (option->get_positional() != positional || option == sub->get_help_ptr() ||
                    option == sub->get_help_all_ptr())
                    continue;
                text += make_option(option, positional);
            }
        }
        // Its own notes; those every command shares are said once, at the end.
        std::istringstream footer(sub->get_footer() + "\n\n");
        std::string paragraph, line;
        while (std::getline(footer, line)) {
            if (!line.empty()) {
                paragraph += (paragraph.empty() ? "" : "\n") + line;
                continue;
            }
            if (!paragraph.empty() && paragraph != kJsonHelp && paragraph != kInterruptHelp &&
                paragraph != kExitHelp)
                text += "\n" + Indent(paragraph) + "\n";
            paragraph.clear();
        }
        for (const CLI::App* nested : sub->get_subcommands({}))
            text += "\n" + make_expanded(nested);
        return text;
    }
    std::string make_description(const CLI::App* app) const override {
        const std::string text = app->get_description();
        return text.empty() ? text : Wrap(text, kHelpWidth - 2) + "\n";
    }

    std::string app_name_ = "tq9ctl";

    static std::string Indent(const std::string& text) {
        std::string indented = "  ";
        for (const char c : text)
            indented += c == '\n' ? std::string("\n  ") : std::string(1, c);
        return indented;
    }
    // Words filled into lines of at most `width` characters.
    static std::string Wrap(const std::string& text, std::size_t width) {
        std::istringstream words(text);
        std::string wrapped, line;
        for (std::string word; words >> word;) {
            if (!line.empty() && line.size() + 1 + word.size() > width) {
                wrapped += line + "\n";
                line.clear();
            }
            line += (line.empty() ? "" : " ") + word;
        }
        return wrapped + line;
    }
};

}  // namespace tq9

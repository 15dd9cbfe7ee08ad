#include "isp/CommandLine.h"

namespace tq9 {

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The arguments from position i on.
void AppendArguments(const std::string& line, std::size_t i, std::vector<std::string>& args) {
    const std::size_t n = line.size();
    for (;;) {
        while (i < n && IsBlank(line[i]))
            ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(line[i]))) {
            if (line[i] == '\\') {
                std::size_t slashes = 0;
                while (i < n && line[i] == '\\')
                    ++slashes, ++i;
                if (i < n && line[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
            } else if (line[i] == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';  // "" inside quotes is one quote
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += line[i++];
            }
        }
        args.push_back(arg);
    }
}
}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> args;
    std::size_t i = 0;
    const std::size_t n = line.size();

    // The program: quoted up to the next quote, or up to the first blank; no escapes.
    std::string program;
    if (i < n && line[i] == '"') {
        ++i;
        while (i < n && line[i] != '"')
            program += line[i++];
        if (i < n) ++i;
    } else {
        while (i < n && !IsBlank(line[i]))
            program += line[i++];
    }
    args.push_back(program);
    AppendArguments(line, i, args);
    return args;
}

std::vector<std::string> SplitArguments(const std::string& arguments) {
    std::vector<std::string> args;
    AppendArguments(arguments, 0, args);
    return args;
}

}  // namespace tq9

#pragma once
// Raised errors carry the operator-facing message text exactly. Nothing below the window
// catches them: the window's one handler guard shows them in the standard error box.

#include <stdexcept>
#include <string>

namespace tq9 {

class Tq9Error : public std::runtime_error {
  public:
    explicit Tq9Error(const std::string& message) : std::runtime_error(message) {}
};

// A text that does not convert to a number.
class ConvertError : public Tq9Error {
  public:
    explicit ConvertError(const std::string& message) : Tq9Error(message) {}
};

// The standard error box's text: the message, with a full stop appended when its last
// character sorts after "." (a letter or a digit, for example).
inline std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

}  // namespace tq9

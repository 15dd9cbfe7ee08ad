#pragma once
// Random (version 4) UUIDs: names no other bench, PC or process will also make.

#include <string>

namespace tq9 {

// A new UUID in its lower-case text form ("xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx").
std::string NewUuid();
// Whether `text` has that form.
bool IsUuid(const std::string& text);

}  // namespace tq9

#pragma once

#include <string_view>

// Whether the query of `url` (past its first '?', before any '#') has a parameter `name`, as
// written, with a value that is not empty.
bool QueryHasValue(std::string_view url, std::string_view name);

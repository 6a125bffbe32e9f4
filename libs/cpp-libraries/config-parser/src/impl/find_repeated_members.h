#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zel::libs::config {

// The path of each member that _text gives again in an object already holding it, once for each
// repetition, in the order of the text: "system.input_address", an array's element as "list[2]".
// _text is a document the JSON reader took: it is read again the way that reader reads, comments,
// trailing commas and bytes that are not UTF-8 included, nested at most _max_depth deep. Where the
// JSON reader is more lenient still (text after the document, numbers with leading zeros, control
// characters inside strings), the members up to that place are looked at.
std::vector<std::string> find_repeated_members(const std::string& _text, std::size_t _max_depth);

}  // namespace zel::libs::config

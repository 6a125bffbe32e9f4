#pragma once

#include <string>

namespace zel {
namespace tail {

// A line suggesting what _endpoint was probably meant to be ("tcp://" before a HOST:PORT); empty
// when there is nothing to suggest.
std::string endpoint_hint(const std::string& _endpoint);

}  // namespace tail
}  // namespace zel

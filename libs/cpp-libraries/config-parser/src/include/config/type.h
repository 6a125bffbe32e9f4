#pragma once

namespace zel::libs::config {

// The kinds of document the library can read.
enum class type { json = 0 };

}  // namespace zel::libs::config

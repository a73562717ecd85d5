#pragma once

namespace engine {

// How a file's text was read and its replacements written.
enum class TextEncoding { Cp932, Utf8 };

} // namespace engine

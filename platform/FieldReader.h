#pragma once

#include "platform/NativePath.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Comma-delimited fields as the definition files hold them. A field ends at a comma or a line end
// (CR LF, lone CR, lone LF); spaces and tabs before it are skipped and an unquoted field loses its
// trailing ones; a quoted field runs to the next double quote, line breaks included, and one comma
// or line end after it is consumed; an empty line is one empty field; blanks and line ends at the
// very end hold no field.
class FieldReader {
public:
    explicit FieldReader(std::string_view text);
    // Reading from `from` on, which a reader of the whole text reaches after some field.
    FieldReader(std::string_view text, std::size_t from);
    // Nothing but spaces, tabs and line ends remains.
    bool AtEnd() const;
    // Where the next field begins: all that a reader here reads follows from this alone.
    std::size_t Position() const { return m_position; }
    // False (field untouched) when no field remains.
    bool ReadField(std::string& field);
    // The same, as the piece of the text that the field is: a field never needs bytes of its own.
    bool ReadField(std::string_view& field);

private:
    void SkipBlanks();
    void SkipLineEnd();

    std::string_view m_text;
    std::size_t m_position = 0;
    std::size_t m_contentEnd = 0; // just after the last byte that is not a blank or a line end
};

enum class ReadResult { Ok, CannotOpen, ReadFailed };
ReadResult ReadWholeFile(const NativePath& path, std::string& bytes);

} // namespace platform

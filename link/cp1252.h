// Text that lives in the data blocks or on the wire (data-set names, notes, the
// dashboard title) is held as Windows-1252 bytes, as the ECU and older files keep
// it. The program's strings are UTF-8. These two functions are the one place where
// the two meet; every field that carries text converts through them.
#pragma once
#include <cstddef>
#include <string>

namespace com {

// Windows-1252 bytes to UTF-8. The five byte values that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same value.
std::string FromCp1252(const std::string& bytes);

// UTF-8 to Windows-1252 bytes. A character with no Windows-1252 form, and a byte
// sequence that is not valid UTF-8, becomes '?'. With `maxBytes`, the result is cut
// after that many bytes (every character is one byte, so the cut never splits one).
std::string ToCp1252(const std::string& utf8, size_t maxBytes = std::string::npos);

}  // namespace com

# cmake -DINPUT=keyboard.ps1 -DOUTPUT=keyboard_script.cpp -P embed_script.cmake
# Bytes as numbers, so that no quoting, escape or line-end rule of a string
# literal can change them.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp
"// Generated from keyboard.ps1 at build time; edit that file instead.
#include \"src/backlight/keyboard_script.h\"

namespace ostrane {
namespace {
constexpr unsigned char BYTES[] = {
  ${bytes}
};
}  // namespace

const std::string_view KEYBOARD_SCRIPT(reinterpret_cast<const char*>(BYTES), ${size});

}  // namespace ostrane
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)

# Turns a file into a C++ source that holds its bytes: cmake -DINPUT=file -DOUTPUT=x.cpp
# -DSYMBOL=name -P embed_file.cmake. The bytes go in as numbers, so no content of the
# file can end a string literal early.
file(READ "${INPUT}" bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${bytes}")
string(REGEX REPLACE "(([^,]*,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
     "// Made by embed_file.cmake from ${INPUT}; do not edit.\n#include <cstddef>\n\nnamespace smsd {\n\n"
     "extern const char ${SYMBOL}[];\nextern const size_t ${SYMBOL}Size;\n"
     "const char ${SYMBOL}[] = {\n    ${bytes}'\\0'};\nconst size_t ${SYMBOL}Size = ${size};\n\n}  // namespace smsd\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")

# Writes a C++ source holding the bytes of INPUT as `const unsigned char SYMBOL[]`
# and its length as `SYMBOL_size`.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR byte_count "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
file(WRITE ${OUTPUT}
     "// Generated from ${INPUT}; do not edit.\n"
     "#include <cstddef>\n"
     "extern const unsigned char ${SYMBOL}[];\n"
     "extern const std::size_t ${SYMBOL}_size;\n"
     "const unsigned char ${SYMBOL}[] = {${body}};\n"
     "const std::size_t ${SYMBOL}_size = ${byte_count};\n")

# Writes a C++ source that holds a text file as a NUL-terminated array of bytes.
# Arguments: -DIN=<file> -DOUT=<generated .cpp> -DNAME=<C++ identifier in namespace vyr::embedded>
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUT}.tmp
  "// Generated from ${IN} at build time; edit the source file, not this one.\n"
  "namespace vyr::embedded {\n"
  "extern const char ${NAME}[] = {${bytes}0};\n"
  "}  // namespace vyr::embedded\n")
file(RENAME ${OUT}.tmp ${OUT})

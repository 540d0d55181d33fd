# Writes a C++ source that holds a file as a NUL-terminated array of bytes, and its size in
# bytes (the NUL left out) as NAME_size: a binary file may hold NULs of its own.
# Arguments: -DIN=<file> -DOUT=<generated .cpp> -DNAME=<C++ identifier in namespace vyr::embedded>
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Character literals, not numbers: a byte above 0x7f is no narrowing then.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE ${OUT}.tmp
  "// Generated from ${IN} at build time; edit the source file, not this one.\n"
  "namespace vyr::embedded {\n"
  "extern const char ${NAME}[] = {${bytes}0};\n"
  "extern const unsigned ${NAME}_size = ${size};\n"
  "}  // namespace vyr::embedded\n")
file(RENAME ${OUT}.tmp ${OUT})

# The build's base-64 encoder (tools/base64.cmake) against known encodings: every padding
# case, and bytes above 0x7f. Run as `cmake -P`.
include(${CMAKE_CURRENT_LIST_DIR}/../tools/base64.cmake)
set(cases "|" "f|Zg==" "fo|Zm8=" "foo|Zm9v" "foob|Zm9vYg==" "fooba|Zm9vYmE=" "foobar|Zm9vYmFy"
          "Grüße ✓|R3LDvMOfZSDinJM=" "~~~?|fn5+Pw==")
foreach(c IN LISTS cases)
  string(FIND "${c}" "|" bar)
  string(SUBSTRING "${c}" 0 ${bar} text)
  math(EXPR from "${bar} + 1")
  string(SUBSTRING "${c}" ${from} -1 want)
  vyr_base64(got "${text}")
  if(NOT got STREQUAL want)
    message(FATAL_ERROR "base64 of '${text}': got '${got}', want '${want}'")
  endif()
endforeach()

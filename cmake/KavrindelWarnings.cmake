# Compile options of the project's own targets (third-party code is built without them).
function(kavrindel_warnings target)
  # Every narrow literal lands in the binary as code page 936 bytes; wide literals are UTF-16.
  target_compile_options(${target} PRIVATE
    "$<$<COMPILE_LANGUAGE:C,CXX>:-finput-charset=UTF-8>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-fexec-charset=GBK>"
    -Wall -Wextra
    # GCC 12 reports false overlaps inside libstdc++ string concatenation (GCC bug 105329).
    -Wno-restrict)
  if(KAVRINDEL_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

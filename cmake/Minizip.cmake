# minizip's unzip half and its stdio file layer, compiled from Debian's zlib source package
# (unpacked by scripts/setup outside the tree), over the MinGW-w64 zlib.
set(KAVRINDEL_MINIZIP_DIR "${KAVRINDEL_DEPS_DIR}/zlib/contrib/minizip")
if(NOT EXISTS "${KAVRINDEL_MINIZIP_DIR}/unzip.c")
  message(FATAL_ERROR "minizip sources not found in ${KAVRINDEL_MINIZIP_DIR}; run scripts/setup first")
endif()
find_library(KAVRINDEL_ZLIB_STATIC NAMES libz.a REQUIRED)
find_path(KAVRINDEL_ZLIB_INCLUDE zlib.h REQUIRED)

add_library(minizip STATIC
  "${KAVRINDEL_MINIZIP_DIR}/unzip.c"
  "${KAVRINDEL_MINIZIP_DIR}/ioapi.c")
target_include_directories(minizip SYSTEM PUBLIC "${KAVRINDEL_MINIZIP_DIR}" "${KAVRINDEL_ZLIB_INCLUDE}")
target_compile_definitions(minizip PRIVATE NOUNCRYPT)
target_link_libraries(minizip PUBLIC "${KAVRINDEL_ZLIB_STATIC}")

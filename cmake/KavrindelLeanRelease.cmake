# A release build ships no debug information and no unused code. Each function and each object
# gets its own section, so that the linker can drop every one that nothing references; the static
# C and C++ runtimes bring debug information of their own, which stripping removes.
add_compile_options("$<$<CONFIG:Release>:-ffunction-sections;-fdata-sections>")
add_link_options("$<$<CONFIG:Release>:-Wl,--gc-sections;-s>")

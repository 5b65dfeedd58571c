# The programs are built as Debian hardens its packages (dpkg-buildflags):
# fortified C library calls, the strong stack protector, and relocations
# made read-only once bound at start (relro, bindnow). Included by the
# folders of the programs and their libraries; the tests link those. Not
# with the sanitizers, which bring checks of their own.
if(NOT QUARVEL_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-fstack-protector-strong)
  # Fortification needs the optimiser: not in a Debug build.
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()

# Flags for every target. The API level is the manifest's Windows 10, for the compiler and the
# resource compiler alike, whatever level the compiler's own headers would choose.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00)
# The clock arithmetic is defined as separately rounded double steps, so floating-point
# contraction (fused multiply-add) stays off.
if(MSVC)
  # Visual Studio 2022 does not contract under /fp:precise.
  add_compile_options(/W4 /fp:precise /utf-8)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
else()
  add_compile_options(-Wall -Wextra -Wconversion -Wshadow -ffp-contract=off
    # No build paths in the binaries, so two builds of one commit are identical.
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
    -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
  if(MINGW)
    # One self-contained executable: no libstdc++, libgcc or winpthread DLL beside it,
    # and no link timestamp in its header.
    add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp
      $<$<NOT:$<CONFIG:Debug>>:-s>)
  endif()
endif()

# What the Windows build needs beyond the toolchain file.

# CLI11 and nlohmann-json are header-only; the Debian packages install them
# for the build machine only. A folder of links to just their headers keeps
# the build machine's C library out of the include path.
set(TARVEL_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${TARVEL_HOST_HEADERS})
foreach(folder CLI nlohmann)
  if(EXISTS /usr/include/${folder} AND NOT EXISTS ${TARVEL_HOST_HEADERS}/${folder})
    file(CREATE_LINK /usr/include/${folder} ${TARVEL_HOST_HEADERS}/${folder} SYMBOLIC)
  endif()
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${TARVEL_HOST_HEADERS})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${TARVEL_HOST_HEADERS})

# No MinGW runtime DLLs to ship: the C and C++ runtimes and winpthread go
# into every executable and DLL.
add_link_options(-static -static-libgcc -static-libstdc++)
# Wide-character Windows calls by default; Windows 7 and later.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# The program looks for the converter DLLs in its own folder only: the
# executable and the DLLs go into one folder of the build tree.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
add_link_options($<$<CONFIG:Release>:-s>)

# libgcrypt: digests and signatures (Debian's libgcrypt20-dev, or
# libgcrypt-mingw-w64-dev under the cross compiler's root).
find_path(GCRYPT_INCLUDE_DIR gcrypt.h REQUIRED)
# On Windows the DLL's import library: the LGPL library stays a DLL
# beside the programs, whatever else is linked statically.
find_library(GCRYPT_LIBRARY NAMES libgcrypt.dll.a gcrypt REQUIRED)
add_library(Gcrypt::Gcrypt UNKNOWN IMPORTED)
set_target_properties(Gcrypt::Gcrypt PROPERTIES IMPORTED_LOCATION "${GCRYPT_LIBRARY}"
                      INTERFACE_INCLUDE_DIRECTORIES "${GCRYPT_INCLUDE_DIR}")
if(WIN32)
  # The DLLs beside the build tree's programs, as in the zip, so that the
  # tests under wine find them.
  get_filename_component(gcrypt_root "${GCRYPT_LIBRARY}" DIRECTORY)
  file(COPY "${gcrypt_root}/../bin/libgcrypt-20.dll" "${gcrypt_root}/../bin/libgpg-error-0.dll"
       DESTINATION "${CMAKE_BINARY_DIR}/bin")
endif()

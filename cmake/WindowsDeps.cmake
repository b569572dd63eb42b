# The forwarder's libraries for 64-bit Windows: OpenSSL, libpng and DCMTK,
# static, built by scripts/windows-deps into a cache outside the clone, and
# Debian's mingw-w64 zlib. Sets TAVIREX_WINDOWS_DEPS_FOUND and the imported
# targets DCMTK::*, PNG::PNG, OpenSSL::SSL, OpenSSL::Crypto and ZLIB::ZLIB.
set(TAVIREX_WINDOWS_DEPS "" CACHE PATH
    "Folder of the libraries scripts/windows-deps built (empty: the one it names)")
set(TAVIREX_WINDOWS_DEPS_FOUND FALSE)
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  return()
endif()

# Asked at every configure, not cached: a newer Debian source brings a new build.
set(deps ${TAVIREX_WINDOWS_DEPS})
if(NOT deps)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows-deps --prefix
    OUTPUT_VARIABLE deps ERROR_VARIABLE why RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    string(STRIP "${why}" why)
    message(STATUS "Windows forwarder libraries not found: ${why}")
    return()
  endif()
endif()
message(STATUS "Windows forwarder libraries: ${deps}")
# A new build of them: forget what the finds below cached from the old one.
if(TAVIREX_WINDOWS_DEPS_USED AND NOT TAVIREX_WINDOWS_DEPS_USED STREQUAL deps)
  get_cmake_property(entries CACHE_VARIABLES)
  foreach(entry IN LISTS entries)
    string(FIND "${${entry}}" "${TAVIREX_WINDOWS_DEPS_USED}/" at)
    if(at EQUAL 0)
      unset(${entry} CACHE)
    endif()
  endforeach()
endif()
set(TAVIREX_WINDOWS_DEPS_USED ${deps} CACHE INTERNAL "The folder the finds below used")

list(APPEND CMAKE_FIND_ROOT_PATH ${deps})
set(OPENSSL_USE_STATIC_LIBS ON)
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(DCMTK CONFIG REQUIRED)
set(TAVIREX_WINDOWS_DEPS_FOUND TRUE)

# Until tavirex-dicom.exe is built here, a program of its own shows that the
# libraries link into one executable that needs only system DLLs and runs.
add_executable(windows_deps_check ${CMAKE_CURRENT_LIST_DIR}/windows-deps/check.cpp)
target_link_libraries(windows_deps_check PRIVATE DCMTK::i2d DCMTK::dcmjpeg DCMTK::dcmtls
  DCMTK::dcmnet DCMTK::dcmdata PNG::PNG OpenSSL::SSL OpenSSL::Crypto ZLIB::ZLIB)
target_compile_options(windows_deps_check PRIVATE -Wno-deprecated-declarations)

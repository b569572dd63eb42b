# Initial cache of the Windows DCMTK build (scripts/windows-deps): the
# libraries the forwarder links and what they link, nothing else.
set(DCMTK_MODULES ofstd oflog dcmdata dcmimgle dcmimage dcmjpeg dcmnet dcmtls CACHE STRING "")
set(BUILD_APPS OFF CACHE BOOL "")
set(BUILD_SHARED_LIBS OFF CACHE BOOL "")
set(BUILD_TESTING OFF CACHE BOOL "")
set(DCMTK_WITH_DOXYGEN OFF CACHE BOOL "")
set(DCMTK_ENABLE_MANPAGES OFF CACHE BOOL "")
foreach(feature TIFF XML SNDFILE ICONV ICU WRAP OPENJPEG)
  set(DCMTK_WITH_${feature} OFF CACHE BOOL "")
endforeach()
set(DCMTK_WITH_STDLIBC_ICONV OFF CACHE BOOL "")
set(DCMTK_WITH_PNG ON CACHE BOOL "")
set(DCMTK_WITH_ZLIB ON CACHE BOOL "")
set(DCMTK_WITH_OPENSSL ON CACHE BOOL "")
set(DCMTK_WITH_THREADS ON CACHE BOOL "")
# One file to install: the dictionary compiled in.
set(DCMTK_DEFAULT_DICT builtin CACHE STRING "")
# Jobs name their images by UTF-16 paths on Windows.
set(DCMTK_WIDE_CHAR_FILE_IO_FUNCTIONS ON CACHE BOOL "")
set(DCMTK_USE_FIND_PACKAGE ON CACHE BOOL "")
# The results of its configure checks and of its run under Wine.
include(${CMAKE_CURRENT_LIST_DIR}/dcmtk-checks.cmake OPTIONAL)
